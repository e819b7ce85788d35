#include "cliargs.h"
#include "muxerchoice.h"
#include "progressnote.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace fe = kc::fileencoder;

namespace {

// The window's reading of a note: the first "Pos:", the next "s", at most nine characters
// between them, trimmed and converted.
bool ReadNote(const std::string &text, double *seconds)
{
    const size_t pos = text.find("Pos:");
    if (pos == std::string::npos)
        return false;
    const size_t s = text.find('s', pos + 4);
    if (s == std::string::npos || s - (pos + 4) > 9)
        return false;
    const std::string number = text.substr(pos + 4, s - (pos + 4));
    size_t used = 0;
    try {
        *seconds = std::stod(number, &used);
    } catch (...) {
        return false;
    }
    return number.find_first_not_of(' ', used) == std::string::npos;
}

} // namespace

TEST(FileEncoderTimeText, ReadsClockTextsAndPlainSeconds)
{
    const struct {
        const char *text;
        int64_t micros;
    } cases[] = {
        {"00:00:10.500", 10500000},
        {"00:00:09.699", 9699000},
        {"00:01:02.045", 62045000},
        {"01:02:05.500", 3725500000LL},
        {"100:00:00.000", 360000000000LL},
        {"00:00:00.000", 0},
        {"1:30", 90000000},
        {"12.5", 12500000},
        {"12.", 12000000},
        {".25", 250000},
        {"7", 7000000},
        {"90", 90000000},
        {"0.1234567", 123456}, // beyond microseconds is dropped
    };
    for (const auto &c : cases) {
        const std::optional<int64_t> t = fe::ParseTimeText(c.text);
        ASSERT_TRUE(t.has_value()) << c.text;
        EXPECT_EQ(*t, c.micros) << c.text;
    }
}

TEST(FileEncoderTimeText, RefusesWhatIsNoTime)
{
    for (const char *text : {"", " 1", "1 ", "abc", "-1", "+1", "1e3", "1:60", "1:2:60", "1:60:00", "1::2",
                             "1:2:3:4", "1.2.3", ":", ".", "1:.5", "00:00:10,500", "99999999999999:00:00"}) {
        EXPECT_FALSE(fe::ParseTimeText(text).has_value()) << '"' << text << '"';
    }
}

TEST(FileEncoderArgs, TakesTheWindowsCommandLine)
{
    const fe::ArgsResult r = fe::ParseEncoderArgs({"/v/my clip.avi", "-ss", "00:00:10.500", "-endpos", "00:00:09.699",
                                                   "-ovc", "copy", "-oac", "copy", "-o", "/out/my clip_new.avi"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.args.input, "/v/my clip.avi");
    EXPECT_EQ(r.args.output, "/out/my clip_new.avi");
    EXPECT_EQ(r.args.startUs, 10500000);
    ASSERT_TRUE(r.args.lengthUs.has_value());
    EXPECT_EQ(*r.args.lengthUs, 9699000);
    EXPECT_FALSE(r.args.exact);
}

TEST(FileEncoderArgs, ExactTakesNoValue)
{
    const fe::ArgsResult r =
        fe::ParseEncoderArgs({"in.mp4", "-ss", "1.24", "-exact", "-endpos", "3", "-o", "out.mp4"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.args.exact);
    EXPECT_EQ(r.args.startUs, 1240000);
    EXPECT_EQ(r.args.output, "out.mp4");
}

TEST(FileEncoderArgs, InputComesFirstWhateverItsName)
{
    const fe::ArgsResult r = fe::ParseEncoderArgs({"-ss", "-o", "out.avi"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.args.input, "-ss");
    EXPECT_EQ(r.args.startUs, 0);
    EXPECT_FALSE(r.args.lengthUs.has_value());
}

TEST(FileEncoderArgs, RefusesIncompleteOrForeignCommandLines)
{
    const struct {
        std::vector<std::string> args;
        const char *why; // a word the reason must contain
    } cases[] = {
        {{}, "input"},
        {{"", "-o", "out.avi"}, "input"},
        {{"in.avi"}, "output"},
        {{"in.avi", "-o", ""}, "output"},
        {{"in.avi", "-o"}, "needs a value"},
        {{"in.avi", "-ss", "1:75", "-o", "out.avi"}, "-ss"},
        {{"in.avi", "-endpos", "x", "-o", "out.avi"}, "-endpos"},
        {{"in.avi", "-endpos", "00:00:00.000", "-o", "out.avi"}, "above 0"},
        {{"in.avi", "-ovc", "lavc", "-o", "out.avi"}, "copy"},
        {{"in.avi", "-oac", "mp3lame", "-o", "out.avi"}, "copy"},
        {{"in.avi", "-vf", "scale", "-o", "out.avi"}, "unknown"},
        {{"in.avi", "out.avi"}, "unknown"},
    };
    for (const auto &c : cases) {
        const fe::ArgsResult r = fe::ParseEncoderArgs(c.args);
        EXPECT_FALSE(r.ok) << testing::PrintToString(c.args);
        EXPECT_NE(r.error.find(c.why), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
}

TEST(FileEncoderNote, WritesNotesTheWindowCanRead)
{
    const struct {
        double seconds;
        const char *note;
    } cases[] = {
        {0.0, "Pos:    0.0s\n"},
        {12.6, "Pos:   12.6s\n"},
        {12.64, "Pos:   12.6s\n"},
        {59.96, "Pos:   60.0s\n"},
        {3725.5, "Pos: 3725.5s\n"},
        {99999.9, "Pos: 99999.9s\n"},
        {1234567.8, "Pos:1234567.8s\n"}, // nine characters leave no room for a blank
        {12345678.9, "Pos:9999999.9s\n"}, // clamped: never more than nine characters
        {-3.0, "Pos:    0.0s\n"},
        {std::nan(""), "Pos:    0.0s\n"},
    };
    for (const auto &c : cases) {
        const std::string note = fe::FormatProgressNote(c.seconds);
        EXPECT_EQ(note, c.note) << c.seconds;
        double read = -1;
        ASSERT_TRUE(ReadNote(note, &read)) << note;
        EXPECT_NEAR(read, std::isnan(c.seconds) || c.seconds < 0 ? 0.0 : std::min(c.seconds, 9999999.9), 0.051);
    }
}

TEST(FileEncoderReporter, WritesAtMostOncePerIntervalPlusTheFinalNote)
{
    std::vector<std::string> notes;
    fe::ProgressReporter reporter([&](const std::string &n) { notes.push_back(n); }, std::chrono::milliseconds(150));
    const auto t0 = fe::ProgressReporter::Clock::time_point() + std::chrono::hours(1);
    reporter.Report(0.0, t0);                                    // the first is written at once
    reporter.Report(0.5, t0 + std::chrono::milliseconds(100));  // too soon
    reporter.Report(1.0, t0 + std::chrono::milliseconds(150));  // due
    reporter.Report(1.2, t0 + std::chrono::milliseconds(200));  // too soon
    reporter.Report(2.0, t0 + std::chrono::milliseconds(320));  // due
    reporter.Final(2.4);
    EXPECT_EQ(notes, (std::vector<std::string>{"Pos:    0.0s\n", "Pos:    1.0s\n", "Pos:    2.0s\n", "Pos:    2.4s\n"}));
}

TEST(FileEncoderMuxer, WritesTheInputsOwnContainer)
{
    const std::set<std::string> muxers = {"avi", "mpeg", "vob", "mov", "mp4", "matroska", "webm", "mpeg2video"};
    const auto isMuxer = [&](std::string_view n) { return muxers.count(std::string(n)) > 0; };
    const struct {
        const char *demuxer;
        bool mpeg2;
        const char *byName;
        const char *expected;
    } cases[] = {
        {"avi", false, "avi", "avi"},
        {"avi", false, "", "avi"},         // a name without an extension
        {"mpeg", false, "mpeg", "mpeg"},   // MPEG-1 video and MPEG audio: a system stream
        {"mpeg", true, "mpeg", "vob"},     // MPEG-2 video or other audio: a program stream
        {"mov,mp4,m4a,3gp,3g2,mj2", false, "mp4", "mp4"},
        {"mov,mp4,m4a,3gp,3g2,mj2", false, "", "mov"},
        {"mov,mp4,m4a,3gp,3g2,mj2", false, "avi", "mov"}, // the content decides, not the name
        {"matroska,webm", false, "webm", "webm"},
        {"matroska,webm", false, "matroska", "matroska"},
        {"mpegvideo", false, "mpeg2video", "mpeg2video"}, // raw streams: the file name's kind
        {"mpegvideo", false, "", ""},
        {"nosuchformat", false, "", ""},
        {"", false, "avi", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fe::ChooseMuxerName(c.demuxer, c.mpeg2, c.byName, isMuxer), c.expected)
            << c.demuxer << " / " << c.byName;
    }
}
