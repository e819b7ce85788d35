#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kc::fileencoder {

// H.264 parameter sets as MP4 and Matroska store them (an "avcC" record) and as a transport
// stream carries them (Annex B start codes in the packets), for joining a re-encoded head to
// copied pictures: both sets of SPS/PPS must reach the decoder under different ids.
struct AvcConfig {
    int lengthSize = 4; // bytes before each NAL unit in a packet
    std::vector<std::vector<uint8_t>> sps;
    std::vector<std::vector<uint8_t>> pps;
    std::vector<uint8_t> trailer; // the High profile fields after the PPS list, kept as they are
};

// False when data is not an avcC record (Annex B extradata starts with a start code).
bool ParseAvcConfig(const uint8_t *data, size_t size, AvcConfig *config);
std::vector<uint8_t> WriteAvcConfig(const AvcConfig &config);

// The NAL units of an Annex B buffer, without their start codes.
std::vector<std::vector<uint8_t>> SplitAnnexB(const uint8_t *data, size_t size);
// NAL units each behind its length in lengthSize big-endian bytes.
std::vector<uint8_t> JoinLengthPrefixed(const std::vector<std::vector<uint8_t>> &units, int lengthSize);

// Whether a packet holds an IDR slice, the only keyframe after which nothing refers back.
// lengthSize: the packet's NAL length size (from avcC), or 0 for Annex B start codes.
bool HasIdrSlice(const uint8_t *data, size_t size, int lengthSize);

// The id an SPS or PPS NAL unit (header byte included) declares, or -1 when unreadable.
int ParameterSetId(const std::vector<uint8_t> &unit);
inline int NalType(const std::vector<uint8_t> &unit) { return unit.empty() ? -1 : unit[0] & 0x1f; }

// An SPS/PPS id that neither the given SPS nor PPS units use, from 31 down; -1 if none is free.
int FreeParameterSetId(const std::vector<std::vector<uint8_t>> &units);

// Where the first slice of an Annex B packet begins (its start code), the place for parameter
// sets in front of the picture: after an access unit delimiter and SEI. size when none.
size_t FirstSliceOffset(const uint8_t *data, size_t size);

// H.264 in Annex B form (transport and program streams, raw streams) names its SPS and PPS
// where the writer chose: muxers that convert from MP4 put them only before IDR pictures, so
// a piece cut at a keyframe that is none (an open GOP) starts without them and no player can
// decode it. This follows the sets read so far, so that they can be put before the piece's
// first picture.
class ParameterSetTracker {
public:
    // What stands before any packet is read: the stream's extradata, in Annex B form.
    void SetInitial(const uint8_t *data, size_t size);
    // Reads a packet in file order; the sets in front of its first slice replace the ones of
    // the same id. True when it carries an SPS and a PPS of its own.
    bool Observe(const uint8_t *data, size_t size);
    // Every set known, SPS before PPS, each behind a start code; empty when none.
    std::vector<uint8_t> InForce() const;

private:
    void Take(std::vector<uint8_t> unit);

    std::map<int, std::vector<uint8_t>> sps_;
    std::map<int, std::vector<uint8_t>> pps_;
};

} // namespace kc::fileencoder
