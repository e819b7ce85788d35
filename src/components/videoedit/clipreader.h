#pragma once

#include "avutils.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>

namespace kc {

// Receives the decoded frames of one clip that lie in its range, in decoding order.
class ClipSink
{
public:
    virtual ~ClipSink() = default;
    // A picture at timeUs (from the start of the file's timeline) lasting durationUs.
    virtual bool videoFrame(AVFrame *frame, int64_t timeUs, int64_t durationUs, QString *error) = 0;
    // Sound whose first sample is sample number pos of the file's timeline (at the frame's rate).
    virtual bool audioFrame(AVFrame *frame, int64_t pos, QString *error) = 0;
};

// Reads the frames of one range of one file: the pictures whose presentation time lies in
// [videoStart, videoStop) and the sound of [audioStart, audioStop), all in microseconds from
// the start of the file's timeline as players count it (see sourcetimeline.h).
//
// It seeks to the keyframe before the start and decodes from there, dropping what lies
// before the start. Whether the seek went far enough back is only known from the first
// decoded frame of each stream (MPEG program streams without an index land by byte position,
// transport streams land between keyframes, open GOPs lose their leading B-frames): if
// either starts after its cut, or no keyframe turns up before the end of the file, the reader
// seeks further back and tries again, and it holds the frames of the range back until both streams
// have shown their first frame, so nothing is delivered twice.
//
// A range may be followed by the next one of the same file (the pieces of a split): with
// keepFrom() the reader keeps what it decoded and read past the range's stop, and
// continueAt() then carries on from there, front to back, without seeking or decoding
// anything twice. The frames handed to the sink are the same as a fresh start() would give.
class ClipReader
{
public:
    explicit ClipReader(const std::atomic<bool> *stop);
    ~ClipReader();

    // Opens the file and the decoders of the streams asked for. A stream the file does not
    // have is simply absent (hasVideo()/hasAudio() say so).
    bool open(const QString &path, bool wantVideo, bool wantAudio, QString *error);
    bool hasVideo() const { return m_video.index >= 0; }
    bool hasAudio() const { return m_audio.index >= 0; }
    int64_t durationUs() const { return m_durationUs; }
    double videoFrameRate() const;
    // Clockwise quarter turns the pictures need for showing (0, 90, 180, 270).
    int videoRotation() const { return m_video.st ? av::DisplayRotation(m_video.st) : 0; }
    // Whether the pictures are interlaced (two fields, a moment apart), as the stream says.
    bool videoInterlaced() const;

    const QString &path() const { return m_path; }
    // Whether open() asked for the sound.
    bool wantedAudio() const { return m_wantedAudio; }
    // The flag that stops the reading (the reader may outlive the render that opened it).
    void setStopFlag(const std::atomic<bool> *stop);

    // Sets the ranges and seeks; call once before step().
    bool start(int64_t videoStartUs, int64_t videoStopUs, int64_t audioStartUs, int64_t audioStopUs,
               QString *error);
    // Reads and decodes one packet, handing the frames in range to the sink. Returns false at
    // the end of the ranges (or of the file), or on an error (*error set, failed() true).
    bool step(ClipSink &sink, QString *error);

    // The next range will start at these times: what lies from there on is kept when this
    // range ends (call after start() or continueAt(), before step()).
    void keepFrom(int64_t videoUs, int64_t audioUs);
    // The range read last has ended (at its stop or at the end of the file) and kept what the
    // next range needs when it starts at these times (audioUs is ignored without sound).
    bool canContinueAt(int64_t videoUs, int64_t audioUs) const;
    // Instead of start(): the ranges begin where the last one ended (canContinueAt() true).
    void continueAt(int64_t videoStartUs, int64_t videoStopUs, int64_t audioStartUs, int64_t audioStopUs);
    // After the range has ended, while its last pictures are being encoded: decodes one more
    // packet of what follows into what is kept for the next range, up to a few pictures.
    // False when there is nothing more to do ahead.
    bool decodeAhead();
    bool failed() const { return m_failed; }
    bool videoDone() const { return m_video.done; }
    bool audioDone() const { return m_audio.done; }
    // Whether the sound reached the end of its range (false: the file's sound ended first).
    bool audioReachedStop() const { return m_audioReachedStop; }
    // The range was read to the end of the file and its pictures all lie before the range's
    // start: the range is past the last picture (a tail where only sound is left).
    bool rangeAfterLastPicture() const
    {
        return hasVideo() && m_eof && m_pictureBeforeStart && m_picturesInRange == 0;
    }
    // Where the pictures begin on the file's timeline (after an initial empty edit, say).
    int64_t videoStartUs() const;
    // The latest position delivered, in microseconds of the file's timeline.
    int64_t videoPositionUs() const { return m_video.lastUs; }
    int64_t audioPositionUs() const;

private:
    struct Stream {
        int index = -1;
        AVStream *st = nullptr;
        av::CodecPtr dec;
        bool done = true;
        bool sawFirst = false;
        int64_t startUs = 0, stopUs = 0;
        int64_t lastUs = 0;
        int64_t nextPos = 0;       // audio: the sample expected next
        int64_t nextUs = 0;        // video: the time given to a frame without one
        int sampleRate = 0;
    };
    struct Held {
        bool video = false;
        av::FramePtr frame;
        int64_t timeUs = 0, durationUs = 0, pos = 0;
    };

    bool openDecoder(Stream &s, QString *error);
    bool seekBack(QString *error);
    bool endOfInput(ClipSink &sink, QString *error);
    bool drainDecoder(Stream &s, ClipSink &sink, QString *error);
    bool onVideoFrame(AVFrame *f, ClipSink &sink, QString *error);
    bool onAudioFrame(AVFrame *f, ClipSink &sink, QString *error);
    bool placeVideo(AVFrame *f, int64_t timeUs, int64_t durUs, ClipSink &sink, QString *error);
    bool placeAudio(AVFrame *f, int64_t pos, ClipSink &sink, QString *error);
    bool handlePacket(AVPacket *pkt, ClipSink &sink, QString *error);
    bool keepFrame(bool video, AVFrame *f, int64_t timeUs, int64_t durUs, int64_t pos, bool copy);
    bool keepPacket(AVPacket *pkt);
    void stopKeeping();
    void dropKept();
    bool endOfRanges(ClipSink &sink, QString *error);
    bool deliver(Held held, ClipSink &sink, QString *error);
    bool releaseHeld(ClipSink &sink, QString *error);
    bool settled() const;
    bool fail(QString *error, const QString &why);
    void finishStreams();

    const std::atomic<bool> *m_stop;
    av::Interrupter m_interrupter;
    av::InputPtr m_ic;
    QString m_path;
    Stream m_video, m_audio;
    av::PacketPtr m_pkt;
    av::FramePtr m_frame;
    int64_t m_originUs = 0;
    int64_t m_durationUs = 0;
    int64_t m_seekTargetUs = 0;
    int64_t m_backoffUs = 0;
    bool m_atFileStart = true;     // nothing read since open, or seeked to the very start
    bool m_eof = false;
    bool m_restarted = false;      // a frame handler has just seeked
    bool m_failed = false;
    bool m_audioReachedStop = false;
    bool m_pictureBeforeStart = false; // a picture before the range was decoded since the seek
    int64_t m_picturesInRange = 0;
    int m_badPackets = 0;
    int m_retries = 0;
    std::deque<Held> m_held;

    bool m_wantedAudio = false;
    // What was read past the range for the next one: decoded frames in decoding order and the
    // packets read after their stream's range had ended, not yet decoded.
    bool m_keeping = false;
    int64_t m_keepVideoUs = 0, m_keepAudioUs = 0;
    std::deque<Held> m_kept;
    std::deque<av::PacketPtr> m_keptPackets;
    int64_t m_keptBytes = 0;
    // What the running range takes over from the last one, before reading on.
    std::deque<Held> m_replay;
    std::deque<av::PacketPtr> m_replayPackets;
};

} // namespace kc
