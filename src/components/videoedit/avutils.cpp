#include "avutils.h"

#include "components/timestampresets/timestampresets.h"

#include <QFile>

#include <cmath>
#include <utility>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
}

namespace kc::av {

QString ErrorText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

bool EncodeFrame(AVCodecContext *enc, AVFrame *frame, AVPacket *pkt, const QString &failure, QString *error,
                 const std::function<bool(AVPacket *pkt, QString *error)> &write)
{
    int rc = avcodec_send_frame(enc, frame);
    if (rc < 0 && rc != AVERROR_EOF) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(failure, ErrorText(rc));
        return false;
    }
    for (;;) {
        rc = avcodec_receive_packet(enc, pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(failure, ErrorText(rc));
            return false;
        }
        const bool ok = write(pkt, error);
        av_packet_unref(pkt);
        if (!ok)
            return false;
    }
}

QByteArray FileUrl(const QString &path)
{
    return QByteArrayLiteral("file:") + QFile::encodeName(path);
}

void Interrupter::setDeadline(std::chrono::milliseconds fromNow)
{
    m_hasDeadline = true;
    m_deadline = std::chrono::steady_clock::now() + fromNow;
}

bool Interrupter::shouldStop() const
{
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        return true;
    return m_hasDeadline && std::chrono::steady_clock::now() > m_deadline;
}

int Interrupter::trampoline(void *self)
{
    return static_cast<Interrupter *>(self)->shouldStop() ? 1 : 0;
}

void InputCloser::operator()(AVFormatContext *c) const
{
    DetachTimestampResets(c);
    avformat_close_input(&c);
}

InputPtr OpenInput(const QString &path, Interrupter *interrupter, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return InputPtr();
    };
    if (path.isEmpty())
        return fail(QStringLiteral("没有指定输入文件"));
    if (!QFile::exists(path))
        return fail(QStringLiteral("输入文件不存在: %1").arg(path));

    AVFormatContext *ic = avformat_alloc_context();
    if (!ic)
        return fail(QStringLiteral("内存不足"));
    if (interrupter)
        ic->interrupt_callback = interrupter->callback();
    AVDictionary *opts = nullptr;
    // A container that names other files (playlists, concat lists) may only reach local files.
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    const QByteArray url = FileUrl(path);
    int rc = avformat_open_input(&ic, url.constData(), nullptr, &opts);
    av_dict_free(&opts);
    if (rc < 0) // avformat_open_input frees the context on failure
        return fail(QStringLiteral("无法打开输入文件 %1: %2").arg(path, ErrorText(rc)));
    InputPtr owned(ic);
    rc = avformat_find_stream_info(ic, nullptr);
    if (rc < 0)
        return fail(QStringLiteral("无法读取输入文件的流信息 %1: %2").arg(path, ErrorText(rc)));
    AttachTimestampResets(ic, QFile::encodeName(path).toStdString());
    return owned;
}

int BestStream(AVFormatContext *ic, AVMediaType type)
{
    if (!ic)
        return -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        if (st->codecpar->codec_type != type)
            continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        if (st->codecpar->codec_id == AV_CODEC_ID_NONE)
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && (st->codecpar->width <= 0 || st->codecpar->height <= 0))
            continue;
        return int(i);
    }
    return -1;
}

int DisplayRotation(const AVStream *st)
{
    if (!st)
        return 0;
    const uint8_t *matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (std::isnan(counterClockwise))
        return 0;
    // Quarter turns only; anything else is shown as the nearest of them.
    int quarters = int(std::lround(-counterClockwise / 90.0)) % 4;
    if (quarters < 0)
        quarters += 4;
    return quarters * 90;
}

void DisplaySize(const AVStream *st, int *width, int *height)
{
    int w = st->codecpar->width;
    int h = st->codecpar->height;
    AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && av_cmp_q(sar, AVRational{1, 1}) != 0)
        w = int(std::lround(double(w) * sar.num / sar.den / 2.0)) * 2;
    if (DisplayRotation(st) % 180 != 0)
        std::swap(w, h);
    *width = w;
    *height = h;
}

} // namespace kc::av
