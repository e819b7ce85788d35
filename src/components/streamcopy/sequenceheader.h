#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kc::fileencoder {

// MPEG-1 and MPEG-2 video state picture size, rate, profile and quantiser matrices in a
// sequence header (with its extensions) that stays in force until the next one. Many
// writers put one before every GOP, but some (mplex, GStreamer's program stream muxer) write
// one for the whole file: a piece cut from the middle of such a file starts without it and
// no player can decode it. This follows the header in force as packets are read, so that
// it can be put before the piece's first picture.
class SequenceHeaderTracker {
public:
    // The sequence header at the start of a packet (before its GOP or first picture), with
    // the extensions and user data that follow it, or empty when the packet has none.
    static std::vector<uint8_t> HeaderAtStart(const uint8_t *data, size_t size);

    // Reads a packet in file order; a header in it becomes the one in force. True when the
    // packet has its own header.
    bool Observe(const uint8_t *data, size_t size);
    // What stands in force before any header has been read (the stream's parameters as the
    // demuxer found them at the beginning of the file).
    void SetInitial(const uint8_t *data, size_t size);

    const std::vector<uint8_t> &InForce() const { return inForce_; }

private:
    std::vector<uint8_t> inForce_;
};

} // namespace kc::fileencoder
