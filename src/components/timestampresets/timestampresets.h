#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace kc {

// MPEG transport and program streams carry the clock of whatever wrote them, and that clock
// can start again inside one file: recordings joined end to end, a broadcast whose encoder
// was restarted, DVD cells authored apart. Demuxers hand such times on as they are, so the
// file seems to last as long as one of its parts, seeks by time land in the wrong part and
// the rest of the pictures fall outside every range.
//
// An input with such resets reads its parts end to end instead: once attached, its packets
// are read with ReadContinuousPacket, seeks go through SeekContinuous, and ic->duration
// tells the length of all parts together. Inputs without resets are left as they are, and
// both calls then do what av_read_frame and the caller's own seek do.

// Looks for resets in the file ic reads (path), once per file and process: a few samples
// across the file, and a pass over its packets when they disagree. Only transport and
// program streams are looked at; ic's own reading position is not touched when there are
// none. The search stops when ic's interrupt callback asks.
void AttachTimestampResets(AVFormatContext *ic, const std::string &path);
// Before ic is closed.
void DetachTimestampResets(AVFormatContext *ic);

// av_read_frame, with the packet's times moved onto the continuous clock.
int ReadContinuousPacket(AVFormatContext *ic, AVPacket *pkt);

// For an input with resets: seeks by byte position so that reading reaches what shows at us
// (AV_TIME_BASE, on the clock ic->start_time is on). AVERROR(ENOSYS) for any other input,
// which the caller then seeks as usual.
int SeekContinuous(AVFormatContext *ic, int64_t us);
// Seeks so that reading starts at the keyframe at or before us (as above; INT64_MIN: the
// first one): by the continuous clock for an input with resets, else by the timestamps of
// the stream (-1: the input's own choice), as avformat_seek_file does.
int SeekToKeyframeBefore(AVFormatContext *ic, int streamIndex, int64_t us);

} // namespace kc
