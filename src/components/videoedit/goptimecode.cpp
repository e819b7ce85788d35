#include "goptimecode.h"

namespace kc {

namespace {

// The 27 bits after the GOP start code: drop flag, hours (5), minutes (6), marker, seconds
// (6), pictures (6), closed GOP, broken link.
constexpr uint32_t kDropFrame = 1u << 31;
constexpr uint32_t kClosed = 1u << 6;

uint32_t ReadWord(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void WriteWord(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

void RebaseGopTimeCodes(uint8_t *data, size_t size, int fps, int64_t *base)
{
    if (fps <= 0 || size < 8)
        return;
    for (size_t i = 0; i + 8 <= size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || data[i + 3] != 0xB8)
            continue;
        uint8_t *header = data + i + 4;
        uint32_t word = ReadWord(header);
        if (word & kDropFrame)
            continue;
        const int64_t frames = ((int64_t((word >> 26) & 31) * 60 + ((word >> 20) & 63)) * 60 + ((word >> 13) & 63)) * fps
                               + ((word >> 7) & 63);
        const bool first = *base < 0;
        if (first)
            *base = frames;
        const int64_t t = frames >= *base ? frames - *base : 0;
        word &= (1u << 7) - 1; // closed and broken-link flags, and the bits of what follows
        word |= uint32_t((t / (int64_t(fps) * 3600)) % 24) << 26 | uint32_t((t / (int64_t(fps) * 60)) % 60) << 20
                | 1u << 19 | uint32_t((t / fps) % 60) << 13 | uint32_t(t % fps) << 7;
        if (first)
            word |= kClosed;
        WriteWord(header, word);
        i += 7;
    }
}

} // namespace kc
