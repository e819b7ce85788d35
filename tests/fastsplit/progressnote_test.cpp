#include "printers.h"
#include "fastsplit/progressnote.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

QByteArray Padded(int before, const char *note)
{
    return QByteArray(before, 'x') + QByteArray(note);
}

} // namespace

TEST(ProgressPercent, ReadsTheFirstNoteOfARead)
{
    const struct {
        QByteArray read;
        double length;
        std::optional<int> percent;
    } cases[] = {
        {"Pos:  12.6s", 50.0, 26},
        {"Pos: 2.5s", 10.0, 20},            // 2.5 rounds to 2: ties go to even
        {"Pos: 3.5s", 10.0, 40},            // 3.5 rounds to 4
        {"Pos:0.5s", 1.0, 0},
        {"Pos: 1s", 3.0, 33},
        {"Pos: 2s", 3.0, 67},
        {"Pos: 1s", 8.0, 12},               // 12.5 rounds to 12
        {"Pos: 3s", 8.0, 38},               // 37.5 rounds to 38
        {"Pos: 1.5s", 1.0, 200},            // not limited to 100
        {"Pos: -3s", 10.0, -30},
        {"Pos:\t7.0 s", 10.0, 70},          // blanks and controls trimmed
        {"frame=12 Pos: 25.0s\r\n", 50.0, 50},
        {"Pos: 4.0s\nPos: 9.0s\n", 10.0, 40}, // the first note wins
        {"Pos: 1e1s", 20.0, 50},
        {"Pos:123456789s", 1e9, 12},        // nine characters; the product needs more than 32 bits
        {"Pos:1234567890s", 1e10, std::nullopt}, // ten characters between
        {"Pos:  12.6 sec", 50.0, 26},       // "s" is the first one after the note
        {"Pos: x.ys Pos: 5.0s", 10.0, std::nullopt}, // only the first note counts
        {"Pos: 1,5s", 10.0, std::nullopt},  // "." is the only separator
        {"Pos: 5.0", 10.0, std::nullopt},   // no "s"
        {"Pos:s", 10.0, std::nullopt},      // nothing to convert
        {"pos: 5.0s", 10.0, std::nullopt},  // case matters
        {"Pos: nans", 10.0, std::nullopt},
        {"Pos: infs", 10.0, std::nullopt},
        {"Pos: 5.0s", 0.0, std::nullopt},   // no length to divide by
        {QByteArray("\0Pos: 5.0s", 10), 10.0, std::nullopt}, // a zero byte ends the text
        {QByteArray("ab\0cd", 5) + "Pos: 5.0s", 10.0, std::nullopt},
        {Padded(91, "Pos: 5.0s"), 10.0, 50},          // ends at the 100th byte
        {Padded(92, "Pos: 5.0s"), 10.0, std::nullopt}, // crosses it
        {Padded(99, "Pos: 5.0s"), 10.0, std::nullopt},
        {"", 10.0, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::ProgressPercent(c.read, c.length), c.percent) << c.read.toStdString() << " / " << c.length;
}

TEST(ProgressNoteText, IsTheTrimmedTextBetweenPosAndS)
{
    EXPECT_EQ(kc::ProgressNoteText("Pos:  12.6s"), QByteArray("12.6"));
    EXPECT_EQ(kc::ProgressNoteText("Pos:123456789s"), QByteArray("123456789"));
    EXPECT_EQ(kc::ProgressNoteText("Pos: abcs"), QByteArray("abc"));
    EXPECT_FALSE(kc::ProgressNoteText("Pos:1234567890s"));
    EXPECT_FALSE(kc::ProgressNoteWholeSeconds("Pos: abcs"));
    EXPECT_FALSE(kc::ProgressNoteWholeSeconds("Pos:9e99s")); // does not fit once rounded
}
