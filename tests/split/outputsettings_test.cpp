#include "components/videoedit/tvideoedit.h"
#include "split/outputsettings.h"

#include <gtest/gtest.h>

#include <functional>

namespace kc {

void PrintTo(const PropertyWrite &w, std::ostream *os)
{
    *os << w.name.toStdString() << "=" << w.value.toString().toStdString() << " ("
        << w.value.typeName() << ")";
}

namespace {

const QString kFolder = QStringLiteral("/opt/kc/");

PropertyWrite W(const char *name, const QVariant &v)
{
    return {QString::fromLatin1(name), v};
}
QVariant F(double r)
{
    return QVariant::fromValue(float(r));
}

struct MappingCase {
    const char *name;
    std::function<void(OutputChoice &)> setUp;
    QList<PropertyWrite> writes;
    int16_t stretch;
};
void PrintTo(const MappingCase &c, std::ostream *os)
{
    *os << c.name;
}

// A source 640 x 360 at 23.976 frames per second.
SourceFacts Source640()
{
    return {[] { return QSize(640, 360); }, [] { return 23.976; }};
}

class MappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(MappingTest, WritesPropertiesInOrder)
{
    const MappingCase &c = GetParam();
    OutputChoice choice;
    choice.cboCusWMV = CustomWmvProfileItems().at(0);
    if (c.setUp)
        c.setUp(choice);
    const OutputSettings s = MapOutputSettings(choice, kFolder, Source640());
    EXPECT_EQ(s.writes, c.writes);
    EXPECT_EQ(s.stretchMode, c.stretch);
    EXPECT_EQ(s.outType, c.writes.at(0).value.toInt());
}

const QList<PropertyWrite> kMpeg2Initial = {
    W("OutputType", 7),          W("MPEGAC3", false),           W("MPEGAudioSampleRate", 44100),
    W("MPEGAudioBitrate", 224000), W("MPEGVideoBitrate", 1500000), W("FrameRate", F(29.97)),
    W("MPEGAudioChannels", 2),   W("OutputFileWidth", 352),     W("OutputFileHeight", 240),
    W("VideoSampleSize", 24),
};

QList<PropertyWrite> Avi(int w, int h, double rate, bool useVideo = true, int videoPos = 0)
{
    return {W("OutputType", 8),          W("OutputFileWidth", w),         W("OutputFileHeight", h),
            W("FrameRate", F(rate)),     W("UseVideoCompressor", useVideo), W("UseAudioCompressor", true),
            W("VideoCompressor", videoPos), W("AudioCompressor", 0),      W("AVIMP3Bitrate", 128),
            W("VideoSampleSize", 24)};
}

INSTANTIATE_TEST_SUITE_P(
    OutputSettings, MappingTest,
    ::testing::Values(
        MappingCase{"StartUpVcdNtscKeepAspect", nullptr,
                    {W("OutputType", 1), W("VideoSampleSize", 24)}, StretchKeepAspect},
        MappingCase{"DvdPalFill",
                    [](OutputChoice &c) {
                        c.format = OutFormat::DVD;
                        c.RadBtPal = true;
                        c.RadBtMode2 = false;
                    },
                    {W("OutputType", 4), W("VideoSampleSize", 24)}, StretchFill},
        MappingCase{"SvcdNtsc", [](OutputChoice &c) { c.format = OutFormat::SVCD; },
                    {W("OutputType", 3), W("VideoSampleSize", 24)}, StretchKeepAspect},
        MappingCase{"Mpeg2Initial",
                    [](OutputChoice &c) {
                        c.format = OutFormat::MPEG;
                        c.RadBtMpg1 = false;
                    },
                    kMpeg2Initial, StretchFill},
        MappingCase{"Mpeg1ListsWithoutPositionStayUnwritten",
                    [](OutputChoice &c) {
                        c.format = OutFormat::MPEG;
                        c.cmbMpegFrame = -1; // "30" typed
                        c.cmbAudioSample = -1;
                        c.cmbAudioBit = 7;   // past the list
                        c.cmbMPEGVideoBit = 12;
                        c.RadBtMode2 = true; // only VCD/SVCD/DVD keep the aspect
                    },
                    {W("OutputType", 6), W("MPEGAC3", false), W("MPEGVideoBitrate", 8000000),
                     W("MPEGAudioChannels", 2), W("OutputFileWidth", 352),
                     W("OutputFileHeight", 240), W("VideoSampleSize", 24)},
                    StretchFill},
        MappingCase{"MpegSizeBroughtIntoFieldRange",
                    [](OutputChoice &c) {
                        c.format = OutFormat::MPEG;
                        c.edtWidth = 5;
                        c.edtHeight = 4000;
                        c.cmbMpegFrame = 0;
                        c.cmbAudioSample = 0;
                        c.cmbAudioBit = 0;
                        c.cmbMPEGVideoBit = 0;
                        c.mpegAC3 = true;
                    },
                    {W("OutputType", 6), W("MPEGAC3", true), W("MPEGAudioSampleRate", 32000),
                     W("MPEGAudioBitrate", 128000), W("MPEGVideoBitrate", 500000),
                     W("FrameRate", F(25)), W("MPEGAudioChannels", 2), W("OutputFileWidth", 48),
                     W("OutputFileHeight", 999), W("VideoSampleSize", 24)},
                    StretchFill},
        MappingCase{"AviAsTheSource", [](OutputChoice &c) { c.format = OutFormat::AVI; },
                    Avi(640, 360, 23.976), StretchFill},
        MappingCase{"Avi240x180WritesWhatItSays",
                    [](OutputChoice &c) {
                        c.format = OutFormat::AVI;
                        c.cboPicSize = 7;
                        c.cboAVIFrame = 9;
                    },
                    Avi(240, 180, 30), StretchFill},
        MappingCase{"AviTypedTextGivesWorkingValues",
                    [](OutputChoice &c) {
                        c.format = OutFormat::AVI;
                        c.cboPicSize = -1;
                        c.cboAVIFrame = -1;
                    },
                    Avi(320, 240, 15), StretchFill},
        MappingCase{"AviRateOutsideTheList",
                    [](OutputChoice &c) {
                        c.format = OutFormat::AVI;
                        c.cboPicSize = 15;
                        c.aviFrameRate = 7.5;
                    },
                    Avi(720, 576, 7.5), StretchFill},
        MappingCase{"AviUncompressedVideoStillWritesCodecPosition",
                    [](OutputChoice &c) {
                        c.format = OutFormat::AVI;
                        c.cboPicSize = 1;
                        c.cboAVIFrame = 5;
                        c.ckbAVIVideoEncoder = true;
                        c.cmbAVIVideoEncoder = 3;
                    },
                    Avi(80, 60, 23.976, false, 3), StretchFill},
        MappingCase{"AviEmptyCodecListsLeaveCodecsUnwritten",
                    [](OutputChoice &c) {
                        c.format = OutFormat::AVI;
                        c.cboPicSize = 9;
                        c.cboAVIFrame = 7;
                        c.cmbAVIVideoEncoder = -1;
                        c.cmbAVIAudioEncoder = -1;
                    },
                    {W("OutputType", 8), W("OutputFileWidth", 320), W("OutputFileHeight", 240),
                     W("FrameRate", F(25)), W("UseVideoCompressor", true),
                     W("UseAudioCompressor", true), W("AVIMP3Bitrate", 128),
                     W("VideoSampleSize", 24)},
                    StretchFill},
        MappingCase{"WmvProfile",
                    [](OutputChoice &c) {
                        c.format = OutFormat::WMV;
                        c.cboWMV = 2;
                    },
                    {W("OutputType", 9), W("WMVProfile", 2), W("VideoSampleSize", 24)}, StretchFill},
        MappingCase{"WmvCustomProfileTyped",
                    [](OutputChoice &c) {
                        c.format = OutFormat::WMV;
                        c.chkCustomProfile = true;
                        c.cboCusWMV = QStringLiteral("abc");
                    },
                    {W("OutputType", 9), W("WMVCustomFileName", QStringLiteral("/opt/kc/Profiles/abc.prx")),
                     W("VideoSampleSize", 24)},
                    StretchFill},
        MappingCase{"WmvCustomProfileFile",
                    [](OutputChoice &c) {
                        c.format = OutFormat::WMV;
                        c.wmvCustomFile = QStringLiteral("/tmp/x.prx");
                    },
                    {W("OutputType", 9), W("WMVCustomFileName", QStringLiteral("/tmp/x.prx")),
                     W("VideoSampleSize", 24)},
                    StretchFill},
        MappingCase{"WmvWithoutProfilePosition",
                    [](OutputChoice &c) {
                        c.format = OutFormat::WMV;
                        c.cboWMV = -1;
                    },
                    {W("OutputType", 9), W("VideoSampleSize", 24)}, StretchFill}),
    [](const ::testing::TestParamInfo<MappingCase> &info) { return std::string(info.param.name); });

TEST(OutputSettings, SourceIsAskedOnlyWhenAListSaysSo)
{
    int sizeAsked = 0;
    int rateAsked = 0;
    SourceFacts counting{[&] { ++sizeAsked; return QSize(640, 360); },
                         [&] { ++rateAsked; return 25.0; }};
    OutputChoice c;
    c.format = OutFormat::AVI;
    c.cboPicSize = 4;
    c.cboAVIFrame = 0;
    MapOutputSettings(c, kFolder, counting);
    EXPECT_EQ(sizeAsked, 0);
    EXPECT_EQ(rateAsked, 1);

    c.format = OutFormat::MPEG;
    c.cboPicSize = 0;
    MapOutputSettings(c, kFolder, counting);
    EXPECT_EQ(sizeAsked, 0);
    EXPECT_EQ(rateAsked, 1);
}

TEST(OutputSettings, UnknownSourceFactsKeepWorkingValues)
{
    OutputChoice c;
    c.format = OutFormat::AVI;
    SourceFacts unknown{[] { return QSize(0, 0); }, [] { return 0.0; }};
    EXPECT_EQ(MapOutputSettings(c, kFolder, unknown).writes, Avi(320, 240, 15));
    EXPECT_EQ(MapOutputSettings(c, kFolder, SourceFacts{}).writes, Avi(320, 240, 15));
}

TEST(OutputSettings, CheckOutType)
{
    struct Case {
        OutFormat format;
        bool pal;
        bool mpg1;
        int code;
    };
    const Case cases[] = {
        {OutFormat::VCD, true, true, 0},   {OutFormat::VCD, false, true, 1},
        {OutFormat::SVCD, true, true, 2},  {OutFormat::SVCD, false, true, 3},
        {OutFormat::DVD, true, true, 4},   {OutFormat::DVD, false, true, 5},
        {OutFormat::MPEG, true, true, 6},  {OutFormat::MPEG, true, false, 7},
        {OutFormat::AVI, true, false, 8},  {OutFormat::WMV, false, false, 9},
        {OutFormat::None, false, false, 0},
    };
    for (const Case &c : cases) {
        OutputChoice choice;
        choice.format = c.format;
        choice.RadBtPal = c.pal;
        choice.RadBtMpg1 = c.mpg1;
        EXPECT_EQ(CheckOutType(choice), c.code) << int(c.format) << c.pal << c.mpg1;
    }
}

TEST(OutputSettings, DefaultCodecSelection)
{
    struct Case {
        QStringList names;
        int video;
        int audio;
    };
    const Case cases[] = {
        {{}, -1, -1},
        {{"MJPEG", "H.264"}, 0, 0},
        {{"MJPEG", "XviD MPEG-4 Codec", "DV Video Encoder", "PCM"}, 2, 3},
        {{"DV Video Encoder", "XviD MPEG-4 Codec", "MP3"}, 1, 0},
        {{"PCM", "xvid mpeg-4 codec", "PCM", "MP3"}, 0, 2},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DefaultVideoCompressor(c.names), c.video) << c.names.join(',').toStdString();
        EXPECT_EQ(DefaultAudioCompressor(c.names), c.audio) << c.names.join(',').toStdString();
    }
}

TEST(OutputSettings, ApplyWritesReachTheComponent)
{
    TVideoEdit ve;
    OutputChoice c;
    c.format = OutFormat::MPEG;
    c.RadBtMpg1 = false;
    const OutputSettings s = MapOutputSettings(c, kFolder, {});
    QString failed;
    ASSERT_TRUE(ApplyPropertyWrites(&ve, s.writes, &failed)) << failed.toStdString();
    EXPECT_EQ(ve.OutputType(), 7);
    EXPECT_EQ(ve.MPEGAudioBitrate(), 224000);
    EXPECT_FLOAT_EQ(ve.FrameRate(), 29.97f);
    EXPECT_EQ(ve.OutputFileWidth(), 352);
    EXPECT_EQ(ve.VideoSampleSize(), 24);

    EXPECT_FALSE(ApplyPropertyWrites(&ve, {W("NoSuchProperty", 1)}, &failed));
    EXPECT_EQ(failed, QStringLiteral("NoSuchProperty"));
}

} // namespace
} // namespace kc
