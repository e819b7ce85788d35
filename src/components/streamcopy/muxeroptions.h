#pragma once

struct AVDictionary;
struct AVFormatContext;

namespace kc::fileencoder {

// Options for writing a piece's header that keep what the input's container was beyond the
// muxer's name. A transport stream read with 192-byte packets (M2TS, as AVCHD cameras and
// Blu-ray write it, often named .MTS) is written with them again, and one read with 188-byte
// packets with those: FFmpeg's muxer would pick by the output's name (192 for .m2ts only).
// The caller frees the result (nullptr: none).
AVDictionary *PieceMuxerOptions(const AVFormatContext *in, const AVFormatContext *out);

} // namespace kc::fileencoder
