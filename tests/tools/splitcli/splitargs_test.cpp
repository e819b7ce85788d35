#include "splitargs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kc::cli {
namespace {

QStringList Args(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(SplitCliArgs, ModesAndDefaults)
{
    ParseResult r = ParseSplitArgs(Args("in.avi --range 1.5 20"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.args.action, Action::Split);
    EXPECT_EQ(r.args.input, QStringLiteral("in.avi"));
    EXPECT_EQ(r.args.mode, smCustom);
    EXPECT_DOUBLE_EQ(r.args.start, 1.5);
    EXPECT_DOUBLE_EQ(r.args.end, 20);
    EXPECT_EQ(r.args.format, OutFormat::VCD);
    EXPECT_FALSE(r.args.pal);
    EXPECT_TRUE(r.args.output.isEmpty());

    r = ParseSplitArgs(Args("--parts=3 in.avi --format mpeg2 --output /tmp/o"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.args.mode, smAverage);
    EXPECT_EQ(r.args.parts, 3);
    EXPECT_EQ(r.args.format, OutFormat::MPEG);
    EXPECT_FALSE(r.args.mpeg1);
    EXPECT_EQ(r.args.output, QStringLiteral("/tmp/o"));

    // The by-time text goes to planning as typed, which refuses it with the window's text.
    r = ParseSplitArgs(Args("in.avi --every 12.5"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.args.mode, smTime);
    EXPECT_EQ(r.args.every, QStringLiteral("12.5"));

    r = ParseSplitArgs(Args("-- --odd-name.avi --parts 2"));
    EXPECT_FALSE(r.ok); // after "--" everything is an input
    r = ParseSplitArgs(QStringList{QStringLiteral("--parts"), QStringLiteral("2"), QStringLiteral("--"),
                                   QStringLiteral("-odd.avi")});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.args.input, QStringLiteral("-odd.avi"));
}

TEST(SplitCliArgs, CopyGoesWithEveryModeAndTheOutputFolder)
{
    for (const char *line : {"in.mkv --copy --range 1 2.5", "in.mkv --parts 3 --copy", "in.mkv --every 60 --copy --output /tmp"}) {
        const ParseResult r = ParseSplitArgs(Args(line));
        ASSERT_TRUE(r.ok) << line << ": " << r.error.toStdString();
        EXPECT_TRUE(r.args.copy) << line;
    }
    EXPECT_FALSE(ParseSplitArgs(Args("in.mkv --parts 3")).args.copy);
}

TEST(SplitCliArgs, ExactGoesWithCopyInEveryMode)
{
    for (const char *line : {"in.mkv --copy --exact --range 1 2.5", "in.mp4 --exact --parts 3 --copy",
                             "in.ts --every 60 --copy --output /tmp --exact"}) {
        const ParseResult r = ParseSplitArgs(Args(line));
        ASSERT_TRUE(r.ok) << line << ": " << r.error.toStdString();
        EXPECT_TRUE(r.args.copy && r.args.exact) << line;
    }
    EXPECT_FALSE(ParseSplitArgs(Args("in.mkv --parts 3 --copy")).args.exact);
}

TEST(SplitCliArgs, HelpAndListCodecsNeedNoInput)
{
    EXPECT_EQ(ParseSplitArgs(Args("--help")).args.action, Action::Help);
    EXPECT_EQ(ParseSplitArgs(Args("in.avi --bogus -h")).args.action, Action::Help);
    const ParseResult r = ParseSplitArgs(Args("--list-codecs"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.args.action, Action::ListCodecs);
}

struct FormatCase {
    const char *name;
    OutFormat format;
    bool pal;
    bool mpeg1;
};

TEST(SplitCliArgs, FormatNames)
{
    const FormatCase cases[] = {
        {"vcd-pal", OutFormat::VCD, true, true},   {"vcd-ntsc", OutFormat::VCD, false, true},
        {"svcd-pal", OutFormat::SVCD, true, true}, {"svcd-ntsc", OutFormat::SVCD, false, true},
        {"dvd-pal", OutFormat::DVD, true, true},   {"DVD-NTSC", OutFormat::DVD, false, true},
        {"mpeg1", OutFormat::MPEG, false, true},   {"mpeg2", OutFormat::MPEG, false, false},
        {"avi", OutFormat::AVI, false, true},      {"wmv", OutFormat::WMV, false, true},
    };
    for (const FormatCase &c : cases) {
        const ParseResult r = ParseSplitArgs({"in.avi", "--parts", "2", "--format", c.name});
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error.toStdString();
        EXPECT_EQ(r.args.format, c.format) << c.name;
        EXPECT_EQ(r.args.pal, c.pal) << c.name;
        EXPECT_EQ(r.args.mpeg1, c.mpeg1) << c.name;
    }
}

struct RefusalCase {
    const char *line;
    const char *errorPart; // a piece of the message that says what is wrong
};

void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.line; }

class SplitCliRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SplitCliRefusal, IsRefusedWithAClearMessage)
{
    const ParseResult r = ParseSplitArgs(Args(GetParam().line));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QString::fromUtf8(GetParam().errorPart)))
        << GetParam().line << " -> " << r.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    SplitCliArgs, SplitCliRefusal,
    ::testing::Values(
        RefusalCase{"", "no input"},
        RefusalCase{"in.avi", "no split mode"},
        RefusalCase{"a.avi b.avi --parts 2", "more than one input"},
        RefusalCase{"in.avi --parts 2 --every 10", "one split mode"},
        RefusalCase{"in.avi --parts 2 --parts 3", "more than once"},
        RefusalCase{"in.avi --range 5", "two values"},
        RefusalCase{"in.avi --range=5 6", "two values"},
        RefusalCase{"in.avi --range a 6", "seconds"},
        RefusalCase{"in.avi --range -1 6", "start at 0"},
        RefusalCase{"in.avi --parts 1", "2 to 100"},
        RefusalCase{"in.avi --parts 101", "2 to 100"},
        RefusalCase{"in.avi --parts 2.5", "2 to 100"},
        RefusalCase{"in.avi --parts", "needs a value"},
        RefusalCase{"in.avi --parts 2 --format mkv", "choose one of vcd-pal"},
        RefusalCase{"in.avi --parts 2 --frobnicate", "unknown option --frobnicate"},
        RefusalCase{"in.avi --parts 2 --ac3=yes --format mpeg1", "takes no value"},
        // options of another format
        RefusalCase{"in.avi --parts 2 --stretch --format avi", "--stretch does not apply to the avi format"},
        RefusalCase{"in.avi --parts 2 --size 320x240", "does not apply to the vcd-ntsc format"},
        RefusalCase{"in.avi --parts 2 --ac3 --format avi", "--ac3 does not apply"},
        RefusalCase{"in.avi --parts 2 --vcodec x --format mpeg1", "--vcodec does not apply"},
        RefusalCase{"in.avi --parts 2 --wmv-profile 0 --format avi", "--wmv-profile does not apply"},
        RefusalCase{"in.avi --parts 2 --no-audio-compress --format wmv", "does not apply"},
        RefusalCase{"in.avi --parts 2 --audio-rate 44100 --format avi", "does not apply"},
        // values the window does not offer
        RefusalCase{"in.avi --parts 2 --format mpeg1 --size 47x240", "48 to 999"},
        RefusalCase{"in.avi --parts 2 --format mpeg1 --size 352x1000", "48 to 999"},
        RefusalCase{"in.avi --parts 2 --format mpeg1 --size big", "WIDTHxHEIGHT"},
        RefusalCase{"in.avi --parts 2 --format avi --size 300x200", "AVI sizes are"},
        RefusalCase{"in.avi --parts 2 --format avi --size 240x188", "AVI sizes are"},
        RefusalCase{"in.avi --parts 2 --format mpeg1 --fps 30", "25, 29.97"},
        RefusalCase{"in.avi --parts 2 --format mpeg1 --video-bitrate 900", "500, 800"},
        RefusalCase{"in.avi --parts 2 --format mpeg2 --audio-rate 22050", "32000, 44100, 48000"},
        RefusalCase{"in.avi --parts 2 --format mpeg2 --audio-bitrate 96", "128, 160, 192, 224"},
        RefusalCase{"in.avi --parts 2 --format avi --fps 0", "above 0"},
        RefusalCase{"in.avi --parts 2 --format avi --fps -5", "above 0"},
        RefusalCase{"in.avi --parts 2 --format avi --fps nan", "above 0"},
        RefusalCase{"in.avi --parts 2 --format wmv --wmv-profile -1", "profile's number"},
        RefusalCase{"in.avi --parts 2 --format wmv --wmv-profile 0 --wmv-profile-file a", "choose one of"},
        // a copy has no encoding to shape
        RefusalCase{"in.mp4 --parts 2 --copy --format avi", "--copy keeps the source's streams and container; it cannot be combined with --format"},
        RefusalCase{"in.mp4 --parts 2 --copy --size 320x240", "cannot be combined with --size"},
        RefusalCase{"in.mp4 --every 60 --copy --format mpeg1 --video-bitrate 800", "cannot be combined with --format, --video-bitrate"},
        RefusalCase{"in.mp4 --range 0 5 --copy --vcodec x", "cannot be combined with --vcodec"},
        RefusalCase{"in.mp4 --parts 2 --copy --stretch", "cannot be combined with --stretch"},
        RefusalCase{"in.mp4 --parts 2 --copy=yes", "takes no value"},
        RefusalCase{"in.mp4 --copy", "no split mode"},
        // exact cuts are a copy's: re-encoded pieces start on their pictures anyway
        RefusalCase{"in.mp4 --parts 2 --exact", "--exact makes the cuts of a copy frame-exact; it goes only with --copy"},
        RefusalCase{"in.mp4 --parts 2 --exact --format avi", "it goes only with --copy"},
        RefusalCase{"in.mp4 --parts 2 --copy --exact --format avi", "cannot be combined with --format"},
        RefusalCase{"in.mp4 --parts 2 --copy --exact=1", "takes no value"},
        RefusalCase{"in.mp4 --parts 2 --copy --exact --exact", "--exact is given more than once"}),
    [](const ::testing::TestParamInfo<RefusalCase> &info) { return "Case" + std::to_string(info.index); });

const ComponentLists kLists{
    {"MJPEG", "XviD MPEG-4 Codec", "DV Video Encoder", "H.264"},
    {"MP3", "PCM", "AAC"},
    {"Profile A", "Profile B"},
};

TEST(SplitCliArgs, DefaultsAreTheWindowsInitialSelections)
{
    struct Case {
        const char *format;
        OutputChoice expected;
    };
    OutputChoice base;
    base.cmbAVIVideoEncoder = 2;
    base.cmbAVIAudioEncoder = 1;
    base.cboCusWMV = CustomWmvProfileItems().at(0);
    for (const char *format : {"vcd-ntsc", "mpeg1", "avi", "wmv"}) {
        const ParseResult r = ParseSplitArgs({"in.avi", "--parts", "2", "--format", format});
        ASSERT_TRUE(r.ok);
        QString error;
        const auto c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
        ASSERT_TRUE(c) << error.toStdString();
        // Every default maps to the writes the window's start-up state gives.
        OutputChoice window = base;
        window.format = r.args.format;
        EXPECT_EQ(MapOutputSettings(*c, "/p/", {}).writes, MapOutputSettings(window, "/p/", {}).writes)
            << format;
        EXPECT_EQ(MapOutputSettings(*c, "/p/", {}).stretchMode, MapOutputSettings(window, "/p/", {}).stretchMode);
    }
}

TEST(SplitCliArgs, OptionsReachTheChoice)
{
    QString error;
    ParseResult r = ParseSplitArgs(Args("in --parts 2 --format mpeg2 --size 480x480 --video-bitrate 8000 "
                                        "--fps 25 --audio-rate 48000 --audio-bitrate 128 --ac3"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    auto c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->edtWidth, 480);
    EXPECT_EQ(c->edtHeight, 480);
    EXPECT_EQ(c->cmbMPEGVideoBit, 12);
    EXPECT_EQ(c->cmbMpegFrame, 0);
    EXPECT_EQ(c->cmbAudioSample, 2);
    EXPECT_EQ(c->cmbAudioBit, 0);
    EXPECT_TRUE(c->mpegAC3);

    r = ParseSplitArgs(Args("in --parts 2 --format avi --size 240×180 --fps 29.97 --vcodec h.264 "
                            "--acodec MP3 --no-video-compress --no-audio-compress"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->cboPicSize, 7);
    EXPECT_EQ(c->cboAVIFrame, 8);
    EXPECT_FALSE(c->aviFrameRate);
    EXPECT_EQ(c->cmbAVIVideoEncoder, 3);
    EXPECT_EQ(c->cmbAVIAudioEncoder, 0);
    EXPECT_TRUE(c->ckbAVIVideoEncoder);
    EXPECT_TRUE(c->ckbAVIAudioEncoder);

    r = ParseSplitArgs(Args("in --parts 2 --format avi --fps 7.5"));
    c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->aviFrameRate, 7.5);

    r = ParseSplitArgs(Args("in --parts 2 --format dvd-pal --stretch"));
    c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->RadBtMode2);
    EXPECT_TRUE(c->RadBtPal);

    r = ParseSplitArgs(Args("in --parts 2 --format wmv --wmv-profile 1"));
    c = ResolveOutputChoice(r.args, kLists, "/p/", &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cboWMV, 1);
}

TEST(SplitCliArgs, ComponentNamesAndProfilesAreChecked)
{
    struct Case {
        const char *line;
        const char *errorPart;
    };
    const Case cases[] = {
        {"in --parts 2 --format avi --vcodec Cinepak", "the video codecs are \"MJPEG\""},
        {"in --parts 2 --format avi --acodec Vorbis", "the audio codecs are"},
        {"in --parts 2 --format wmv --wmv-profile 2", "numbered 0 to 1"},
        {"in --parts 2 --format wmv --wmv-profile-file /no/such.prx", "no such profile file"},
    };
    for (const Case &c : cases) {
        const ParseResult r = ParseSplitArgs(Args(c.line));
        ASSERT_TRUE(r.ok) << c.line;
        QString error;
        EXPECT_FALSE(ResolveOutputChoice(r.args, kLists, "/p/", &error)) << c.line;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorPart))) << error.toStdString();
    }
}

TEST(SplitCliArgs, CustomProfileByPathOrByName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + "/";
    ASSERT_TRUE(QDir(folder).mkpath("Profiles"));
    QFile named(folder + "Profiles/my profile.prx");
    ASSERT_TRUE(named.open(QIODevice::WriteOnly));
    named.close();

    QString error;
    ParseResult r = ParseSplitArgs({"in", "--parts", "2", "--format", "wmv", "--wmv-profile-file", "my profile"});
    auto c = ResolveOutputChoice(r.args, kLists, folder, &error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(MapOutputSettings(*c, folder, {}).writes.at(1).value.toString(),
              folder + "Profiles/my profile.prx");

    r = ParseSplitArgs({"in", "--parts", "2", "--format", "wmv", "--wmv-profile-file",
                        folder + "Profiles/my profile.prx"});
    c = ResolveOutputChoice(r.args, kLists, "/elsewhere/", &error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(MapOutputSettings(*c, "/elsewhere/", {}).writes.at(1).value.toString(),
              folder + "Profiles/my profile.prx");
}

} // namespace
} // namespace kc::cli
