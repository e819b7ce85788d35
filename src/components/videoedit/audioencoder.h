#pragma once

#include "avutils.h"
#include "outputplan.h"

#include <QString>

namespace kc {

class OutputMuxer;

// Resamples decoded sound to the output's rate, channels and sample format and encodes it in
// the encoder's frame size. Output time is counted in samples, so the sound has no gaps.
class AudioEncoder
{
public:
    AudioEncoder() = default;
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder &) = delete;
    AudioEncoder &operator=(const AudioEncoder &) = delete;

    bool open(const AudioEncoderSettings &wanted, OutputMuxer &muxer, QString *error);
    // Encodes `take` samples of the decoded frame, starting `skip` samples into it.
    bool push(const AVFrame *in, int64_t skip, int64_t take, QString *error);
    // Appends silence, in samples of the output rate.
    bool pushSilence(int64_t samples, QString *error);
    // The current clip has ended: the resampler gives up what it still holds.
    bool endClip(QString *error);
    // Takes over the resampler of the encoder of the piece before (whose sound has ended), so
    // that its filter is not built again; nothing when the two encode differently.
    void takeResamplerFrom(AudioEncoder &other);
    // The output ends: the last partial frame and the encoder's delay are written.
    bool flush(QString *error);
    // Samples handed on so far, in the output rate.
    int64_t samplesQueued() const { return m_queued; }
    int sampleRate() const { return m_enc ? m_enc->sample_rate : 0; }

private:
    bool ensureResampler(const AVFrame *in, QString *error);
    bool writeFifo(uint8_t **data, int samples, QString *error);
    bool encodeFromFifo(bool final, QString *error);
    bool sendAndWrite(AVFrame *frame, QString *error);
    bool growBuffer(int samples, QString *error);

    OutputMuxer *m_muxer = nullptr;
    av::CodecPtr m_enc;
    int m_stream = -1;
    int m_frameSize = 1024;
    av::PacketPtr m_pkt;
    av::FifoPtr m_fifo;
    av::SwrPtr m_swr;
    int m_inRate = 0, m_inFmt = -1;
    AVChannelLayout m_inLayout{};
    uint8_t **m_buf = nullptr;
    int m_bufSamples = 0;
    int64_t m_pts = 0;
    int64_t m_queued = 0;
};

} // namespace kc
