#include "outputmuxer.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/opt.h>
}

namespace kc {

namespace {

// The inode of a regular file at path; -1 for anything else (nothing there, a device...).
qint64 InodeOf(const QString &path)
{
    struct stat sb {};
    if (::stat(QFile::encodeName(path).constData(), &sb) != 0 || !S_ISREG(sb.st_mode))
        return -1;
    return qint64(sb.st_ino);
}

QString SystemErrorText(int err)
{
    return av::ErrorText(AVERROR(err));
}

} // namespace

OutputMuxer::~OutputMuxer()
{
    if (m_oc)
        abort();
}

bool OutputMuxer::create(const OutputPlan &plan, const QString &path, QString *error)
{
    m_plan = plan;
    m_path = path;
    const int rc = avformat_alloc_output_context2(&m_oc, nullptr, plan.muxer.constData(), nullptr);
    if (rc < 0 || !m_oc) {
        if (error)
            *error = QStringLiteral("无法创建输出格式 %1: %2").arg(QString::fromLatin1(plan.muxer), av::ErrorText(rc));
        return false;
    }
    if (plan.packetSize > 0)
        m_oc->packet_size = unsigned(plan.packetSize);
    // How far the muxer may let streams drift apart while interleaving, as the ffmpeg tool does.
    m_oc->max_delay = int(0.7 * AV_TIME_BASE);
    return true;
}

bool OutputMuxer::wantsGlobalHeader() const
{
    return m_oc && (m_oc->oformat->flags & AVFMT_GLOBALHEADER);
}

bool StreamModel::From(const AVCodecContext *enc, uint32_t codecTag, StreamModel *model, QString *error)
{
    StreamModel m;
    m.params.reset(avcodec_parameters_alloc(), [](AVCodecParameters *p) { avcodec_parameters_free(&p); });
    const int rc = m.params ? avcodec_parameters_from_context(m.params.get(), enc) : AVERROR(ENOMEM);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法设置输出流: %1").arg(av::ErrorText(rc));
        return false;
    }
    m.timeBase = enc->time_base;
    m.frameRate = enc->framerate;
    m.sampleAspect = enc->sample_aspect_ratio;
    m.tag = codecTag;
    m.encoderTag = enc->codec_tag;
    for (int i = 0; i < enc->nb_coded_side_data; ++i) {
        const AVPacketSideData &sd = enc->coded_side_data[i];
        m.sideData.append({sd.type, QByteArray(reinterpret_cast<const char *>(sd.data), int(sd.size))});
    }
    *model = std::move(m);
    return true;
}

int OutputMuxer::addStream(AVCodecContext *enc, uint32_t codecTag, QString *error)
{
    StreamModel model;
    return StreamModel::From(enc, codecTag, &model, error) ? addStream(model, error) : -1;
}

int OutputMuxer::addStream(const StreamModel &model, QString *error)
{
    AVStream *st = avformat_new_stream(m_oc, nullptr);
    if (!st) {
        if (error)
            *error = QStringLiteral("内存不足");
        return -1;
    }
    int rc = avcodec_parameters_copy(st->codecpar, model.params.get());
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法设置输出流: %1").arg(av::ErrorText(rc));
        return -1;
    }
    // Some encoders name their variant by its tag (Ut Video's RGB and YUV kinds); keep it when
    // the container knows it, or the reader would take the stream for another variant.
    uint32_t tag = model.tag;
    if (!tag && model.encoderTag && m_oc->oformat->codec_tag
        && av_codec_get_id(m_oc->oformat->codec_tag, model.encoderTag) == model.params->codec_id)
        tag = model.encoderTag;
    st->codecpar->codec_tag = tag;
    st->time_base = model.timeBase;
    st->avg_frame_rate = model.frameRate;
    st->r_frame_rate = model.frameRate;
    st->sample_aspect_ratio = model.sampleAspect;
    for (const StreamModel::SideData &sd : model.sideData) {
        uint8_t *dst = av_stream_new_side_data(st, sd.type, size_t(sd.data.size()));
        if (!dst) {
            if (error)
                *error = QStringLiteral("内存不足");
            return -1;
        }
        memcpy(dst, sd.data.constData(), size_t(sd.data.size()));
    }
    return st->index;
}

// A new, empty file beside the final one, created here so that no other file is truncated; a
// device or pipe given as the output is written directly.
bool OutputMuxer::chooseWritingPath(QString *error)
{
    auto refuse = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("无法创建输出文件 %1: %2").arg(m_path, why);
        return false;
    };
    const QByteArray finalName = QFile::encodeName(m_path);
    struct stat sb {};
    if (::stat(finalName.constData(), &sb) == 0) {
        if (S_ISDIR(sb.st_mode))
            return refuse(SystemErrorText(EISDIR));
        if (!S_ISREG(sb.st_mode)) {
            m_writePath = m_path;
            m_temporary = false;
            return true;
        }
        if (::access(finalName.constData(), W_OK) != 0)
            return refuse(SystemErrorText(errno));
    }
    const QFileInfo fi(m_path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = fi.absolutePath() + QLatin1Char('/') + fi.fileName()
                                  + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            m_writePath = candidate;
            m_temporary = true;
            return true;
        }
        if (errno != EEXIST)
            return refuse(SystemErrorText(errno));
    }
    return refuse(SystemErrorText(EEXIST));
}

bool OutputMuxer::open(QString *error)
{
    if (!chooseWritingPath(error))
        return false;
    const QByteArray url = av::FileUrl(m_writePath);
    int rc = avio_open(&m_oc->pb, url.constData(), AVIO_FLAG_WRITE);
    if (rc < 0) {
        if (m_temporary)
            QFile::remove(m_writePath);
        m_temporary = false;
        if (error)
            *error = QStringLiteral("无法创建输出文件 %1: %2").arg(m_path, av::ErrorText(rc));
        return false;
    }
    m_fileOpen = true;
    m_inode = InodeOf(m_writePath);
    AVDictionary *opts = nullptr;
    for (const auto &o : m_plan.muxerOptions)
        av_dict_set(&opts, o.first.constData(), o.second.constData(), 0);
    rc = avformat_write_header(m_oc, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法写入输出文件头 %1: %2").arg(m_path, av::ErrorText(rc));
        return false;
    }
    m_headerWritten = true;
    return true;
}

bool OutputMuxer::write(AVPacket *pkt, int stream, AVRational encoderTimeBase, QString *error)
{
    AVStream *st = m_oc->streams[stream];
    av_packet_rescale_ts(pkt, encoderTimeBase, st->time_base);
    pkt->stream_index = stream;
    const int rc = av_interleaved_write_frame(m_oc, pkt);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("写入输出文件出错 %1: %2").arg(m_path, av::ErrorText(rc));
        return false;
    }
    return true;
}

bool OutputMuxer::fileStillThere() const
{
    // Writing to something other than a regular file (a device) has nothing to watch.
    return m_inode <= 0 || InodeOf(m_writePath) == m_inode;
}

bool OutputMuxer::encodeAndWrite(AVCodecContext *enc, AVFrame *frame, AVPacket *pkt, int stream,
                                 const QString &failure, QString *error)
{
    return av::EncodeFrame(enc, frame, pkt, failure, error, [&](AVPacket *p, QString *e) {
        return write(p, stream, enc->time_base, e);
    });
}

bool OutputMuxer::finish(QString *error)
{
    return complete(error) && commit(error);
}

bool OutputMuxer::complete(QString *error)
{
    int rc = av_write_trailer(m_oc);
    if (rc >= 0 && m_oc->pb && m_oc->pb->error < 0)
        rc = m_oc->pb->error;
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("写入输出文件出错 %1: %2").arg(m_path, av::ErrorText(rc));
        return false;
    }
    avio_flush(m_oc->pb);
    rc = m_oc->pb->error;
    const int closeRc = avio_closep(&m_oc->pb);
    m_fileOpen = false;
    if (rc >= 0)
        rc = closeRc;
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("关闭输出文件出错 %1: %2").arg(m_path, av::ErrorText(rc));
        return false;
    }
    avformat_free_context(m_oc);
    m_oc = nullptr;
    m_complete = true;
    return true;
}

bool OutputMuxer::commit(QString *error)
{
    if (!fileStillThere()) {
        if (error)
            *error = QStringLiteral("输出文件在写入时被删除或移走: %1").arg(m_path);
        return false;
    }
    // The complete file takes its name in one step; a file of that name is replaced only now.
    if (m_temporary
        && ::rename(QFile::encodeName(m_writePath).constData(), QFile::encodeName(m_path).constData()) != 0) {
        if (error)
            *error = QStringLiteral("无法创建输出文件 %1: %2").arg(m_path, SystemErrorText(errno));
        return false;
    }
    m_temporary = false;
    m_inode = 0; // complete: from now on the file is the user's
    return true;
}

void OutputMuxer::closeFile()
{
    if (m_oc && m_fileOpen) {
        avio_closep(&m_oc->pb);
        m_fileOpen = false;
    }
}

void OutputMuxer::abort()
{
    const bool created = m_inode > 0;
    closeFile();
    // Only the regular file this render wrote goes; one that replaced it meanwhile stays.
    if (created && m_temporary && InodeOf(m_writePath) == m_inode)
        QFile::remove(m_writePath);
    m_temporary = false;
    if (m_oc) {
        avformat_free_context(m_oc);
        m_oc = nullptr;
    }
    m_inode = 0;
}

} // namespace kc
