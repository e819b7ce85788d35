#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVPacket;
struct AVOutputFormat;
struct AVStream;

namespace kc::fileencoder {

// The stream-copy rules other cutting paths share, so that their pieces come out in the
// same container with the same stream headers as a plain copy.

// FFmpeg's text for an AVERROR code.
std::string AvErrorText(int err);
// The input's interrupt callback: opaque is the stop flag (a volatile sig_atomic_t).
int InterruptRequested(void *opaque);
// Whether a stream of the input goes into the piece (video but cover art, and sound).
bool IsCopiedStream(const AVStream *st);
// The muxer that writes the input's container back; nullptr when none can.
const AVOutputFormat *PickCopyMuxer(const AVFormatContext *ic, const std::vector<int> &copied,
                                    const std::string &outputPath);
// Whether the container keeps a codec's global headers (program and transport streams do not).
bool MuxerCarriesGlobalHeaders(const AVOutputFormat *ofmt);
// Sets up an output stream as a copy of an input stream; an AVERROR code on failure.
int SetUpCopiedStream(const AVStream *ist, AVStream *ost, const AVOutputFormat *ofmt);
// MPEG program and transport streams leave the presentation time out of many pictures
// headers (a reference picture's is then the next reference's decode time): has the
// demuxer work it out by reading ahead, so that a keyframe is placed where it shows.
void FillInPresentationTimes(AVFormatContext *ic);
// Muxers refuse decode times that do not increase, and damaged inputs have them: moves the
// packet's decode time (and a presentation time it passes) just past lastDts, the output
// stream's previous one, which it then updates. A packet without either time gets that one
// too where the muxer needs times (transport stream, Matroska, MP4/MOV, FLV).
void KeepDecodeTimesIncreasing(AVPacket *pkt, const AVOutputFormat *ofmt, int64_t *lastDts);

} // namespace kc::fileencoder
