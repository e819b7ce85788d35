#pragma once

// Small helpers around the FFmpeg C API: owning pointers, error text and the one safe way
// this component opens a media file.

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace kc::av {

struct InputCloser {
    void operator()(AVFormatContext *c) const;
};
struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct GraphFreer {
    void operator()(AVFilterGraph *g) const { avfilter_graph_free(&g); }
};
struct SwrFreer {
    void operator()(SwrContext *s) const { swr_free(&s); }
};
struct FifoFreer {
    void operator()(AVAudioFifo *f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFreer>;

inline FramePtr NewFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr NewPacket() { return PacketPtr(av_packet_alloc()); }

// The text of an AVERROR code ("No such file or directory").
QString ErrorText(int err);

// Sends one frame to an encoder (nullptr: drains it) and hands every packet it has ready to
// write, unreferencing each after. failure names the stage in the error text ("视频编码出错").
bool EncodeFrame(AVCodecContext *enc, AVFrame *frame, AVPacket *pkt, const QString &failure, QString *error,
                 const std::function<bool(AVPacket *pkt, QString *error)> &write);

// The URL handed to libavformat for a local path: always through the file protocol, so a
// name that looks like "pipe:..." or "concat:..." is still only a file name.
QByteArray FileUrl(const QString &path);

// Lets a blocking libavformat call give up: on a stop request or after a deadline.
class Interrupter
{
public:
    explicit Interrupter(const std::atomic<bool> *stop = nullptr) : m_stop(stop) {}
    // The context keeps this object's address, so a new owner re-points the flag instead.
    void setStopFlag(const std::atomic<bool> *stop) { m_stop = stop; }
    void setDeadline(std::chrono::milliseconds fromNow);
    void clearDeadline() { m_hasDeadline = false; }
    bool shouldStop() const;
    AVIOInterruptCB callback() const { return AVIOInterruptCB{&Interrupter::trampoline, const_cast<Interrupter *>(this)}; }

private:
    static int trampoline(void *self);
    const std::atomic<bool> *m_stop;
    bool m_hasDeadline = false;
    std::chrono::steady_clock::time_point m_deadline;
};

// Opens a media file for reading and reads its stream parameters. Only the file protocol is
// allowed, also for files a playlist-like container would refer to. The interrupter (which
// must outlive the context) keeps a damaged file from hanging the caller.
InputPtr OpenInput(const QString &path, Interrupter *interrupter, QString *error);

// The first stream of that type that is not a cover picture, or -1.
int BestStream(AVFormatContext *ic, AVMediaType type);

// How far a video stream's pictures are to be turned clockwise for showing (its display
// matrix, as phones write it): 0, 90, 180 or 270.
int DisplayRotation(const AVStream *st);

// The size a video stream's pictures are shown at: turned by DisplayRotation() and with square
// pixels (the width follows the sample aspect ratio, as players do it), both even.
void DisplaySize(const AVStream *st, int *width, int *height);

} // namespace kc::av
