#include "videoencoder.h"

#include "goptimecode.h"
#include "outputmuxer.h"
#include "yuvmatrix.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/cpu.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace kc {

namespace {

AVPixelFormat ChooseFormat(const AVCodec *codec, const QByteArray &wanted)
{
    if (!wanted.isEmpty()) {
        const AVPixelFormat f = av_get_pix_fmt(wanted.constData());
        if (f != AV_PIX_FMT_NONE)
            return f;
    }
    // The encoder lists its own formats first (Motion JPEG's full-range one, for instance,
    // before the limited-range ones it only takes when told to bend the standard).
    return codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
}

uint32_t TagFor(const QByteArray &encoder)
{
    // Players recognise these encoders' streams better by their usual AVI codes.
    if (encoder == "libxvid")
        return MKTAG('X', 'V', 'I', 'D');
    return 0;
}

// Whether an interlaced source keeps its fields in this output: the encoder codes fields
// (MPEG-2: SVCD, DVD) and the picture rate stays. Otherwise its pictures are deinterlaced
// before they are scaled.
bool KeepsFields(const VideoEncoderSettings &output, bool sourceInterlaced, bool sameRate)
{
    return sourceInterlaced && sameRate && output.encoder == "mpeg2video";
}

} // namespace

bool VideoEncoder::open(const VideoEncoderSettings &wanted, OutputMuxer &muxer, QString *error)
{
    m_wanted = wanted;
    m_pkt = av::NewPacket();
    m_scaled = av::NewFrame();
    if (!m_pkt || !m_scaled) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    m_globalHeader = muxer.wantsGlobalHeader();
    if (!openCodec(m_globalHeader, error) || !StreamModel::From(m_enc.get(), TagFor(wanted.encoder), &m_model, error))
        return false;
    const int stream = muxer.addStream(m_model, error);
    if (stream < 0)
        return false;
    m_targets.assign(1, Target{&muxer, stream, 0, {}});
    return true;
}

bool VideoEncoder::openCodec(bool globalHeader, QString *error)
{
    const VideoEncoderSettings &wanted = m_wanted;
    const AVCodec *codec = avcodec_find_encoder_by_name(wanted.encoder.constData());
    if (!codec) {
        if (error)
            *error = QStringLiteral("找不到视频编码器 %1").arg(QString::fromLatin1(wanted.encoder));
        return false;
    }
    m_enc.reset(avcodec_alloc_context3(codec));
    if (!m_enc) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    AVCodecContext *c = m_enc.get();
    c->width = wanted.width;
    c->height = wanted.height;
    c->time_base = AVRational{wanted.rateDen, wanted.rateNum};
    c->framerate = AVRational{wanted.rateNum, wanted.rateDen};
    c->pix_fmt = ChooseFormat(codec, wanted.pixFmt);
    // The pictures are converted to the formula players guess from the size, and MPEG-2 says
    // so as well (in its sequence display extension).
    c->colorspace = MatrixTag(GuessedMatrix(wanted.width, wanted.height), wanted.height);
    c->color_range = AVCOL_RANGE_MPEG;
    const PictureFit fit = FitPicture(wanted.width, wanted.height, 1, 1, wanted.width, wanted.height, wanted.darNum,
                                      wanted.darDen, false);
    c->sample_aspect_ratio = AVRational{fit.sarNum, fit.sarDen};
    if (wanted.bitrate > 0)
        c->bit_rate = wanted.bitrate;
    if (wanted.maxrate > 0)
        c->rc_max_rate = wanted.maxrate;
    if (wanted.minrate > 0)
        c->rc_min_rate = wanted.minrate;
    if (wanted.bufsize > 0)
        c->rc_buffer_size = int(wanted.bufsize);
    if (wanted.gop > 0)
        c->gop_size = wanted.gop;
    if (wanted.maxBFrames >= 0)
        c->max_b_frames = wanted.maxBFrames;
    if (wanted.qscale > 0) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * wanted.qscale;
    }
    // One thread per core (the MPEG encoders split each picture into slices). Not libavcodec's
    // automatic count, which adds one: decoding already runs beside this on a thread of its
    // own, and the extra thread only costs switches.
    c->thread_count = std::max(1, av_cpu_count());
    c->thread_type = FF_THREAD_SLICE | FF_THREAD_FRAME;
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Each picture's field order is its own (top_field_first of the frame).
    if (m_codesFields)
        c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    AVDictionary *opts = nullptr;
    for (const auto &o : wanted.options)
        av_dict_set(&opts, o.first.constData(), o.second.constData(), 0);
    const int rc = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法打开视频编码器 %1 (%2×%3): %4")
                         .arg(QString::fromLatin1(wanted.encoder)).arg(wanted.width).arg(wanted.height).arg(av::ErrorText(rc));
        return false;
    }
    return true;
}

// Encoders that take the picture types they are given, so that no picture refers across the
// keyframe and the reference picture that bound a piece (intra-only ones need nothing more).
// With B-frames, the piece's last picture must have been made a reference picture.
bool VideoEncoder::canCarryOn() const
{
    static const char *const steerable[] = {"mpeg1video", "mpeg2video", "mpeg4", "msmpeg4", "msmpeg4v2",
                                            "wmv1", "wmv2", "mjpeg", "huffyuv", "utvideo", "dvvideo", "rawvideo"};
    for (const char *name : steerable)
        if (m_wanted.encoder == name)
            return m_lastEndedPiece || m_enc->max_b_frames == 0;
    return false;
}

bool VideoEncoder::continueInto(OutputMuxer &next, int stream, FileDone currentDone, QString *error)
{
    if (canCarryOn()) {
        m_targets.back().done = std::move(currentDone);
        m_targets.push_back(Target{&next, stream, m_nextSlot, {}});
        m_keyNext = true;
        return true;
    }
    // Drained into the current file and started again for the next.
    if (!sendAndWrite(nullptr, error))
        return false;
    while (!m_targets.empty()) {
        if (!completeFront(error))
            return false;
    }
    if (!currentDone(error) || !openCodec(m_globalHeader, error))
        return false;
    m_targets.push_back(Target{&next, stream, m_nextSlot, {}});
    m_keyNext = false;
    return true;
}

void VideoEncoder::beginClip(bool keepAspect, int rotation, bool interlaced, bool sameRate)
{
    m_keepAspect = keepAspect;
    m_rotation = rotation;
    m_clipInterlaced = interlaced;
    m_clipSameRate = sameRate;
}

bool VideoEncoder::endClip(QString *error)
{
    return drainFilter(error);
}

bool VideoEncoder::drainFilter(QString *error)
{
    if (!m_graphDeinterlaces)
        return true;
    int rc = av_buffersrc_add_frame_flags(m_src, nullptr, 0);
    if (rc >= 0 && !encodeFiltered(&rc, error))
        return false;
    // Whatever the graph kept is lost with it; the next picture makes a new one.
    m_runs.clear();
    m_graph.reset();
    m_src = m_sink = nullptr;
    m_haveGraph = false;
    m_graphDeinterlaces = false;
    if (rc < 0 && rc != AVERROR_EOF && rc != AVERROR(EAGAIN)) {
        if (error)
            *error = QStringLiteral("图像缩放出错: %1").arg(av::ErrorText(rc));
        return false;
    }
    return true;
}

bool VideoEncoder::ensureFilter(const AVFrame *in, QString *error)
{
    const AVRational sar = in->sample_aspect_ratio;
    // Fields are kept only as they are: a turned picture is deinterlaced first.
    const bool deinterlace = m_clipInterlaced && (!m_codesFields || m_rotation != 0);
    if (m_haveGraph && in->width == m_inW && in->height == m_inH && in->format == m_inFmt
        && in->colorspace == m_inColorspace && in->color_trc == m_inTransfer && av_cmp_q(sar, m_inSar) == 0
        && m_keepAspect == m_graphKeepAspect && m_rotation == m_graphRotation && deinterlace == m_graphDeinterlaces)
        return true;
    if (!drainFilter(error))
        return false;
    m_graph.reset();
    m_src = m_sink = nullptr;
    m_haveGraph = true;
    m_inW = in->width;
    m_inH = in->height;
    m_inFmt = in->format;
    m_inColorspace = in->colorspace;
    m_inTransfer = in->color_trc;
    m_inSar = sar;
    m_graphKeepAspect = m_keepAspect;
    m_graphRotation = m_rotation;

    // The picture is turned upright before it is fitted: a quarter turn swaps its sides and
    // the shape of its pixels.
    const bool quarterTurn = m_rotation == 90 || m_rotation == 270;
    const int uprightW = quarterTurn ? in->height : in->width;
    const int uprightH = quarterTurn ? in->width : in->height;
    const AVRational uprightSar = quarterTurn && sar.num > 0 ? AVRational{sar.den, sar.num} : sar;
    AVCodecContext *c = m_enc.get();
    const PictureFit fit = FitPicture(uprightW, uprightH, uprightSar.num, uprightSar.den, c->width, c->height,
                                      m_wanted.darNum, m_wanted.darDen, m_keepAspect);
    const bool padded = fit.width != c->width || fit.height != c->height;
    const YuvMatrix inMatrix = SourceMatrix(in->colorspace, in->width, in->height);
    const YuvMatrix outMatrix = GuessedMatrix(c->width, c->height);
    const bool highRange = IsHighDynamicRange(in->color_trc);
    m_passThrough = !padded && m_rotation == 0 && !deinterlace && in->width == c->width && in->height == c->height
                    && in->format == c->pix_fmt && inMatrix == outMatrix && !highRange;
    if (m_passThrough)
        return true;

    m_graph.reset(avfilter_graph_alloc());
    if (!m_graph) {
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    // Scaling runs on the encoding thread, beside the decoder's and encoder's threads; cutting
    // each picture into slices for more threads costs more than it gains at these sizes.
    m_graph->nb_threads = 1;
    const char *inFmtName = av_get_pix_fmt_name(AVPixelFormat(in->format));
    const QByteArray args = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=1/1000000:pixel_aspect=%4/%5")
                                .arg(in->width).arg(in->height).arg(QString::fromLatin1(inFmtName ? inFmtName : "yuv420p"))
                                .arg(sar.num > 0 ? sar.num : 1).arg(sar.den > 0 ? sar.den : 1).toLatin1();
    int rc = avfilter_graph_create_filter(&m_src, avfilter_get_by_name("buffer"), "in", args.constData(), nullptr,
                                          m_graph.get());
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                          m_graph.get());
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法建立图像缩放: %1").arg(av::ErrorText(rc));
        return false;
    }
    const char *outFmtName = av_get_pix_fmt_name(c->pix_fmt);
    QString desc;
    // Motion-adaptive: still parts keep both fields' lines, moving ones are rebuilt from the
    // field shown first; a picture not flagged interlaced passes as it is.
    if (deinterlace)
        desc += QStringLiteral("bwdif=mode=send_frame:parity=auto:deint=interlaced,");
    switch (m_rotation) {
    case 90: desc += QStringLiteral("transpose=clock,"); break;
    case 180: desc += QStringLiteral("hflip,vflip,"); break;
    case 270: desc += QStringLiteral("transpose=cclock,"); break;
    default: break;
    }
    // High dynamic range is scaled as it is, then brought to standard range at the output's
    // size, where it costs little.
    desc += QStringLiteral("scale=%1:%2:flags=bicubic:in_color_matrix=%3:out_color_matrix=%4")
                .arg(fit.width)
                .arg(fit.height)
                .arg(QString::fromLatin1(ScaleMatrixName(inMatrix)),
                     QString::fromLatin1(ScaleMatrixName(highRange ? inMatrix : outMatrix)));
    // Kept fields are scaled each on its own, and a black band above keeps whole line pairs
    // of chroma, so that no field takes the other's lines.
    const bool fields = m_codesFields && !deinterlace;
    if (fields)
        desc += QStringLiteral(":interl=-1");
    if (highRange)
        desc += QStringLiteral(",%1,format=%2")
                    .arg(QString::fromStdString(ToStandardRange(outMatrix)), QString::fromLatin1(outFmtName));
    if (padded)
        desc += QStringLiteral(",pad=%1:%2:%3:%4:black")
                    .arg(c->width).arg(c->height).arg(fit.x).arg(fields ? fit.y & ~3 : fit.y);
    desc += QStringLiteral(",setsar=%1/%2,format=%3").arg(fit.sarNum).arg(fit.sarDen).arg(QString::fromLatin1(outFmtName));

    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        if (error)
            *error = QStringLiteral("内存不足");
        return false;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_src;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    rc = avfilter_graph_parse_ptr(m_graph.get(), desc.toLatin1().constData(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (rc >= 0)
        rc = avfilter_graph_config(m_graph.get(), nullptr);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("无法建立图像缩放 (%1): %2").arg(desc, av::ErrorText(rc));
        return false;
    }
    m_graphDeinterlaces = deinterlace;
    return true;
}

bool VideoEncoder::encode(AVFrame *decoded, int64_t first, int64_t count, QString *error, bool endsPiece)
{
    if (count <= 0)
        return true;
    // A stream whose header says nothing of fields (DV) may still flag its pictures so.
    m_clipInterlaced = m_clipInterlaced || decoded->interlaced_frame;
    if (!m_sentPicture && !m_codesFields && KeepsFields(m_wanted, m_clipInterlaced, m_clipSameRate)) {
        // Decided by the first picture, before the encoder has seen one: it codes fields now.
        m_codesFields = true;
        if (!openCodec(m_globalHeader, error))
            return false;
    }
    if (!ensureFilter(decoded, error))
        return false;
    const Run run{first, count, endsPiece};
    if (m_passThrough) {
        decoded->sample_aspect_ratio = m_enc->sample_aspect_ratio;
        return encodeRun(decoded, run, error);
    }
    int rc = av_buffersrc_add_frame_flags(m_src, decoded, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (rc >= 0) {
        m_runs.push_back(run);
        if (!encodeFiltered(&rc, error))
            return false;
    }
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
        if (error)
            *error = QStringLiteral("图像缩放出错: %1").arg(av::ErrorText(rc));
        return false;
    }
    return true;
}

bool VideoEncoder::encodeFiltered(int *graphRc, QString *error)
{
    // Pictures come out in the order they went in, a deinterlacer's one picture later.
    for (;;) {
        av_frame_unref(m_scaled.get());
        *graphRc = av_buffersink_get_frame(m_sink, m_scaled.get());
        if (*graphRc < 0 || m_runs.empty())
            return true;
        const Run run = m_runs.front();
        m_runs.pop_front();
        if (!encodeRun(m_scaled.get(), run, error))
            return false;
    }
}

bool VideoEncoder::encodeRun(AVFrame *pic, const Run &run, QString *error)
{
    const int64_t first = std::max(run.first, m_nextSlot);
    const int64_t count = run.count;
    pic->quality = m_enc->global_quality;
    for (int64_t i = 0; i < count; ++i) {
        // The decoder's picture types are no orders for the encoder; a piece's bounds are.
        pic->pict_type = m_keyNext ? AV_PICTURE_TYPE_I
                         : (run.endsPiece && i == count - 1) ? AV_PICTURE_TYPE_P
                                                             : AV_PICTURE_TYPE_NONE;
        m_keyNext = false;
        pic->pts = first + i;
        if (!sendAndWrite(pic, error))
            return false;
    }
    m_lastEndedPiece = run.endsPiece;
    m_nextSlot = first + count;
    return true;
}

bool VideoEncoder::sendAndWrite(AVFrame *frame, QString *error)
{
    m_sentPicture = m_sentPicture || frame;
    return av::EncodeFrame(m_enc.get(), frame, m_pkt.get(), QStringLiteral("视频编码出错"), error,
                           [this](AVPacket *p, QString *e) { return writePacket(p, e); });
}

bool VideoEncoder::writePacket(AVPacket *pkt, QString *error)
{
    // The next file's keyframe comes after every packet of the current file.
    while (m_targets.size() > 1 && pkt->pts != AV_NOPTS_VALUE && pkt->pts >= m_targets[1].firstSlot) {
        if (!completeFront(error))
            return false;
    }
    Target &t = m_targets.front();
    // A later piece's GOP time codes count from its own start, as in a file encoded alone.
    if (t.firstSlot > 0 && (pkt->flags & AV_PKT_FLAG_KEY)
        && (m_enc->codec_id == AV_CODEC_ID_MPEG1VIDEO || m_enc->codec_id == AV_CODEC_ID_MPEG2VIDEO)) {
        if (av_packet_make_writable(pkt) < 0) {
            if (error)
                *error = QStringLiteral("内存不足");
            return false;
        }
        const int fps = int(std::lround(double(m_wanted.rateNum) / m_wanted.rateDen));
        RebaseGopTimeCodes(pkt->data, size_t(pkt->size), fps, &t.timeCodeBase);
    }
    if (pkt->pts != AV_NOPTS_VALUE)
        pkt->pts -= t.firstSlot;
    if (pkt->dts != AV_NOPTS_VALUE)
        pkt->dts -= t.firstSlot;
    return t.muxer->write(pkt, t.stream, m_enc->time_base, error);
}

bool VideoEncoder::flush(QString *error)
{
    if (!drainFilter(error) || !sendAndWrite(nullptr, error))
        return false;
    // Every file but the last is complete now (the last one may have had no picture).
    while (m_targets.size() > 1) {
        if (!completeFront(error))
            return false;
    }
    return true;
}

bool VideoEncoder::completeFront(QString *error)
{
    if (m_targets.front().done && !m_targets.front().done(error))
        return false;
    m_targets.pop_front();
    return true;
}

} // namespace kc
