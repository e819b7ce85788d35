#pragma once

#include <string>
#include <vector>

struct AVFormatContext;
struct AVOutputFormat;
struct AVStream;

namespace kc::fileencoder {

// Which of the input's streams a copied piece carries: the video (not cover art), every
// sound track, the subtitles and the attached files (fonts), as far as the output
// container can hold them. Container bookkeeping (timecode and chapter text tracks, other
// data) is never copied: the muxer writes its own.

// Whether the stream is one a piece would carry if the container allows it.
bool IsPieceStream(const AVStream *st);

// Whether the output container can hold a copy of the stream.
bool ContainerCarries(const AVOutputFormat *ofmt, const AVStream *st);

struct StreamSelection {
    std::vector<int> copied;        // input stream indices, in output order
    std::vector<std::string> notes; // one line per stream the container cannot carry
};

// Narrows the candidate streams (IsPieceStream) to those ofmt carries. Video and sound
// always stay: a container that cannot take them fails at its header, with FFmpeg's reason.
StreamSelection SelectCarriedStreams(const AVFormatContext *ic, const std::vector<int> &candidates,
                                     const AVOutputFormat *ofmt);

// Whether packets of the stream come only now and then (subtitles) or never (attached
// files): such a stream neither holds a cut back nor tells where the input's streams begin.
bool IsSparseStream(const AVStream *st);

} // namespace kc::fileencoder
