// GOP headers of a piece cut from a longer encode, rebased to the piece's own start.
#include "components/videoedit/goptimecode.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kc;

namespace {

struct TimeCode {
    int hours, minutes, seconds, pictures;
    bool closed;
    bool dropFrame = false;
};

// A sequence end, a GOP header and a picture start code, as an encoder's keyframe packet has
// them one after another.
std::vector<uint8_t> GopHeader(const TimeCode &t)
{
    const uint32_t word = uint32_t(t.dropFrame) << 31 | uint32_t(t.hours) << 26 | uint32_t(t.minutes) << 20 | 1u << 19
                          | uint32_t(t.seconds) << 13 | uint32_t(t.pictures) << 7 | uint32_t(t.closed) << 6;
    return {0x00, 0x00, 0x01, 0xB8, uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word),
            0x00, 0x00, 0x01, 0x00, 0x00, 0x0F};
}

TimeCode Read(const std::vector<uint8_t> &data)
{
    const uint32_t w = uint32_t(data[4]) << 24 | uint32_t(data[5]) << 16 | uint32_t(data[6]) << 8 | data[7];
    return {int(w >> 26 & 31), int(w >> 20 & 63), int(w >> 13 & 63), int(w >> 7 & 63), bool(w >> 6 & 1),
            bool(w >> 31)};
}

TEST(GopTimeCode, CountsFromThePiecesFirstGopAndClosesIt)
{
    const struct {
        const char *label;
        int64_t base;   // before: negative for a piece's first GOP
        TimeCode in;
        int fps;
        TimeCode out;
        int64_t baseAfter;
    } cases[] = {
        // The piece's first GOP: 1 s 18 pictures at 30 fps is its start.
        {"first", -1, {0, 0, 1, 18, false}, 30, {0, 0, 0, 0, true}, 48},
        // A later GOP of the same piece: 2 s 6 pictures is 18 pictures after it.
        {"later", 48, {0, 0, 2, 6, false}, 30, {0, 0, 0, 18, false}, 48},
        // An hour in, at 25 fps, in a piece that started at 1 s.
        {"an hour in", 25, {1, 1, 0, 24, false}, 25, {1, 0, 59, 24, false}, 25},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int64_t base = c.base;
        std::vector<uint8_t> data = GopHeader(c.in);
        const std::vector<uint8_t> tail(data.begin() + 8, data.end());
        RebaseGopTimeCodes(data.data(), data.size(), c.fps, &base);
        const TimeCode got = Read(data);
        EXPECT_EQ(got.hours, c.out.hours);
        EXPECT_EQ(got.minutes, c.out.minutes);
        EXPECT_EQ(got.seconds, c.out.seconds);
        EXPECT_EQ(got.pictures, c.out.pictures);
        EXPECT_EQ(got.closed, c.out.closed);
        EXPECT_EQ(base, c.baseAfter);
        EXPECT_EQ(std::vector<uint8_t>(data.begin() + 8, data.end()), tail) << "the picture after it is untouched";
    }
}

TEST(GopTimeCode, LeavesWhatItCannotCountAlone)
{
    // A drop-frame time code, and data with no GOP header at all.
    std::vector<uint8_t> drop = GopHeader({0, 0, 3, 2, false, true});
    const std::vector<uint8_t> dropBefore = drop;
    int64_t base = -1;
    RebaseGopTimeCodes(drop.data(), drop.size(), 30, &base);
    EXPECT_EQ(drop, dropBefore);
    EXPECT_EQ(base, -1);

    std::vector<uint8_t> picture = {0x00, 0x00, 0x01, 0x00, 0x12, 0x34, 0x00, 0x00, 0x01, 0x01, 0xFF};
    const std::vector<uint8_t> pictureBefore = picture;
    RebaseGopTimeCodes(picture.data(), picture.size(), 30, &base);
    EXPECT_EQ(picture, pictureBefore);
}

} // namespace
