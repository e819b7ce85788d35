#pragma once

#include <cstdint>

struct AVFormatContext;
struct AVStream;

namespace kc {

// The timeline a user sees in a player and in MediaInfo, which is the one every time given to
// the component is measured on.
//
// Most containers count from their first timestamp (MPEG streams start anywhere, a Matroska
// file may start at 3 s), and players show that instant as 0. QuickTime files (MP4, MOV) carry
// their own zero: an initial empty edit, or content written with a start offset, is a stretch
// of the file's time before its first picture, and players and MediaInfo count it.
int64_t TimelineOriginUs(const AVFormatContext *ic);

// Where a stream's first timestamp lies on that timeline, in microseconds (0 when unknown).
int64_t StreamStartUs(const AVFormatContext *ic, const AVStream *st);

// How long that timeline is, in microseconds (0 when unknown). Mostly the container's own
// word; a Matroska file that starts late (cut or recorded with its times kept) holds its end
// time where its length belongs, and one recorded live holds none, so their last packets are
// read (the position is left at the start).
int64_t TimelineDurationUs(AVFormatContext *ic);

} // namespace kc
