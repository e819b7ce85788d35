#include "common/timeparts.h"

#include <gtest/gtest.h>

using kc::TimeParts;

TEST(DecodeSeconds, TruncatesMillisecondsInExtendedPrecision)
{
    const struct {
        double seconds;
        TimeParts expected;
    } cases[] = {
        {10.1, {0, 0, 10, 99}},
        {1.234, {0, 0, 1, 233}},
        {0.077, {0, 0, 0, 76}},
        {5025.7, {1, 23, 45, 699}},
        {42.5, {0, 0, 42, 500}},
        {100.0, {0, 1, 40, 0}},
        {3725.5, {1, 2, 5, 500}},
        {1.001, {0, 0, 1, 0}},
        {0.999, {0, 0, 0, 998}},
        {0.0, {0, 0, 0, 0}},
        {360000.25, {100, 0, 0, 250}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kc::DecodeSeconds(c.seconds), c.expected) << "seconds " << c.seconds;
    }
}

TEST(JoinTimeParts, SumsFieldsInExtendedPrecision)
{
    EXPECT_DOUBLE_EQ(kc::JoinTimeParts(1, 2, 3, 45), 3723.045);
    EXPECT_DOUBLE_EQ(kc::JoinTimeParts(0, 0, 10, 500), 10.5);
    EXPECT_DOUBLE_EQ(kc::JoinTimeParts(0, 0, 0, 0), 0.0);
    // A length of 9.7 is held just below 9.7, so its milliseconds truncate to 699.
    const double length = kc::JoinTimeParts(0, 0, 20, 200) - kc::JoinTimeParts(0, 0, 10, 500);
    EXPECT_EQ(kc::DecodeSeconds(length).msec, 699);
}

TEST(FormatSeconds, RightAlignsOneDecimalInSevenCharacters)
{
    const struct {
        double seconds;
        const char *text;
    } cases[] = {
        {5025.7, " 5025.7"}, {90.5, "   90.5"}, {0.0, "    0.0"}, {59.96, "   60.0"}, {12345678.9, "12345678.9"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::FormatSeconds(c.seconds), QString::fromLatin1(c.text));
}

TEST(ParseWholeNumber, AcceptsOnlySignAndDigits)
{
    const struct {
        const char *text;
        bool ok;
        qint64 value;
    } cases[] = {
        {"90500", true, 90500}, {"-12", true, -12}, {"+7", true, 7}, {"", false, 0}, {"-", false, 0},
        {"5432.7", false, 0},   {" 5", false, 0},   {"5 ", false, 0}, {"1e3", false, 0},
        {"99999999999", true, 99999999999LL},
    };
    for (const auto &c : cases) {
        qint64 v = 0;
        EXPECT_EQ(kc::ParseWholeNumber(QString::fromLatin1(c.text), &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}
