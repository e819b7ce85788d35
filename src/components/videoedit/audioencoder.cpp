#include "audioencoder.h"

#include "outputmuxer.h"

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace kc {

AudioEncoder::~AudioEncoder()
{
    if (m_buf) {
        av_freep(&m_buf[0]);
        av_freep(&m_buf);
    }
    av_channel_layout_uninit(&m_inLayout);
}

bool AudioEncoder::open(const AudioEncoderSettings &wanted, OutputMuxer &muxer, QString *error)
{
    m_muxer = &muxer;
    m_pkt = av::NewPacket();
    const AVCodec *codec = avcodec_find_encoder_by_name(wanted.encoder.constData());
    if (!codec) {
        if (error)
            *error = QStringLiteral("找不到音频编码器 %1").arg(QString::fromLatin1(wanted.encoder));
        return false;
    }
    m_enc.reset(avcodec_alloc_context3(codec));
    if (!m_enc || !m_pkt) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    AVCodecContext *c = m_enc.get();
    c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->sample_rate = wanted.sampleRate;
    av_channel_layout_default(&c->ch_layout, wanted.channels);
    if (wanted.bitrate > 0)
        c->bit_rate = wanted.bitrate;
    c->time_base = AVRational{1, wanted.sampleRate};
    if (muxer.wantsGlobalHeader())
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = 0;
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法打开音频编码器 %1 (%2 Hz, %3 声道, %4 bit/s): %5")
                         .arg(QString::fromLatin1(wanted.encoder)).arg(wanted.sampleRate).arg(wanted.channels)
                         .arg(wanted.bitrate).arg(av::ErrorText(rc));
        return false;
    }
    // PCM-like encoders take any number of samples; give them modest blocks.
    m_frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    m_fifo.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, m_frameSize * 4));
    if (!m_fifo) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    m_stream = muxer.addStream(c, 0, error);
    return m_stream >= 0;
}

bool AudioEncoder::growBuffer(int samples, QString *error)
{
    if (samples <= m_bufSamples)
        return true;
    if (m_buf) {
        av_freep(&m_buf[0]);
        av_freep(&m_buf);
    }
    m_bufSamples = 0;
    const int rc = av_samples_alloc_array_and_samples(&m_buf, nullptr, m_enc->ch_layout.nb_channels, samples,
                                                      m_enc->sample_fmt, 0);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    m_bufSamples = samples;
    return true;
}

bool AudioEncoder::ensureResampler(const AVFrame *in, QString *error)
{
    AVChannelLayout layout{};
    if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || in->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&layout, in->ch_layout.nb_channels > 0 ? in->ch_layout.nb_channels : 2);
    else
        av_channel_layout_copy(&layout, &in->ch_layout);
    if (m_swr && in->sample_rate == m_inRate && in->format == m_inFmt
        && av_channel_layout_compare(&layout, &m_inLayout) == 0) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    if (m_swr && !endClip(error)) {
        av_channel_layout_uninit(&layout);
        return false;
    }
    SwrContext *swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &m_enc->ch_layout, m_enc->sample_fmt, m_enc->sample_rate, &layout,
                                 AVSampleFormat(in->format), in->sample_rate, 0, nullptr);
    if (rc >= 0)
        rc = swr_init(swr);
    if (rc < 0) {
        swr_free(&swr);
        av_channel_layout_uninit(&layout);
        if (error)
            *error = QStringLiteral("无法转换声音格式: %1").arg(av::ErrorText(rc));
        return false;
    }
    m_swr.reset(swr);
    m_inRate = in->sample_rate;
    m_inFmt = in->format;
    av_channel_layout_uninit(&m_inLayout);
    m_inLayout = layout;
    return true;
}

bool AudioEncoder::push(const AVFrame *in, int64_t skip, int64_t take, QString *error)
{
    if (take <= 0)
        return true;
    if (!ensureResampler(in, error))
        return false;
    const AVSampleFormat fmt = AVSampleFormat(in->format);
    const int bytes = av_get_bytes_per_sample(fmt);
    const int channels = in->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(fmt);
    // Planar sound keeps one plane per channel (beyond eight only in extended_data).
    std::vector<const uint8_t *> src(planar ? size_t(channels) : 1);
    for (size_t p = 0; p < src.size(); ++p)
        src[p] = in->extended_data[p] + skip * bytes * (planar ? 1 : channels);
    const int outMax = swr_get_out_samples(m_swr.get(), int(take));
    if (!growBuffer(outMax, error))
        return false;
    const int n = swr_convert(m_swr.get(), m_buf, outMax, src.data(), int(take));
    if (n < 0) {
        if (error)
            *error = QStringLiteral("声音重采样出错: %1").arg(av::ErrorText(n));
        return false;
    }
    return writeFifo(m_buf, n, error);
}

bool AudioEncoder::pushSilence(int64_t samples, QString *error)
{
    const int chunk = 4096;
    if (!growBuffer(chunk, error))
        return false;
    while (samples > 0) {
        const int n = int(std::min<int64_t>(samples, chunk));
        av_samples_set_silence(m_buf, 0, n, m_enc->ch_layout.nb_channels, m_enc->sample_fmt);
        if (!writeFifo(m_buf, n, error))
            return false;
        samples -= n;
    }
    return true;
}

bool AudioEncoder::endClip(QString *error)
{
    if (!m_swr)
        return true;
    for (;;) {
        const int outMax = std::max(swr_get_out_samples(m_swr.get(), 0), 0);
        if (outMax <= 0)
            break;
        if (!growBuffer(outMax, error))
            return false;
        const int n = swr_convert(m_swr.get(), m_buf, outMax, nullptr, 0);
        if (n < 0) {
            if (error)
                *error = QStringLiteral("声音重采样出错: %1").arg(av::ErrorText(n));
            return false;
        }
        if (n == 0)
            break;
        if (!writeFifo(m_buf, n, error))
            return false;
    }
    // Emptied and set back to its start; its filter, costly to build, stays for the next clip.
    if (swr_init(m_swr.get()) < 0)
        m_swr.reset();
    return true;
}

void AudioEncoder::takeResamplerFrom(AudioEncoder &other)
{
    if (!other.m_swr || !other.m_enc || !m_enc || other.m_enc->sample_rate != m_enc->sample_rate
        || other.m_enc->sample_fmt != m_enc->sample_fmt
        || av_channel_layout_compare(&other.m_enc->ch_layout, &m_enc->ch_layout) != 0)
        return;
    m_swr = std::move(other.m_swr);
    m_inRate = other.m_inRate;
    m_inFmt = other.m_inFmt;
    av_channel_layout_uninit(&m_inLayout);
    av_channel_layout_copy(&m_inLayout, &other.m_inLayout);
}

bool AudioEncoder::writeFifo(uint8_t **data, int samples, QString *error)
{
    if (samples <= 0)
        return true;
    if (av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void **>(data), samples) < samples) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    m_queued += samples;
    return encodeFromFifo(false, error);
}

bool AudioEncoder::encodeFromFifo(bool final, QString *error)
{
    for (;;) {
        const int have = av_audio_fifo_size(m_fifo.get());
        if (have <= 0 || (!final && have < m_frameSize))
            return true;
        const int n = std::min(have, m_frameSize);
        av::FramePtr f = av::NewFrame();
        if (!f) {
            if (error)
                *error = QStringLiteral("内存不足");
            return false;
        }
        f->nb_samples = n;
        f->format = m_enc->sample_fmt;
        f->sample_rate = m_enc->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &m_enc->ch_layout);
        int rc = av_frame_get_buffer(f.get(), 0);
        if (rc >= 0)
            rc = av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(f->data), n) == n ? 0 : AVERROR(EIO);
        if (rc < 0) {
            if (error)
                *error = QStringLiteral("声音编码出错: %1").arg(av::ErrorText(rc));
            return false;
        }
        f->pts = m_pts;
        m_pts += n;
        if (!sendAndWrite(f.get(), error))
            return false;
    }
}

bool AudioEncoder::sendAndWrite(AVFrame *frame, QString *error)
{
    return m_muxer->encodeAndWrite(m_enc.get(), frame, m_pkt.get(), m_stream, QStringLiteral("声音编码出错"), error);
}

bool AudioEncoder::flush(QString *error)
{
    if (!endClip(error) || !encodeFromFifo(true, error))
        return false;
    return sendAndWrite(nullptr, error);
}

} // namespace kc
