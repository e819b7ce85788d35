#include "clipreader.h"

#include "sourcetimeline.h"

#include "components/timestampresets/timestampresets.h"

#include <algorithm>
#include <cstdlib>

namespace kc {

namespace {

constexpr AVRational kMicros{1, 1000000};
// Frames held while waiting for the other stream's first frame. Sound normally shows up
// within a few packets of the picture; a file whose sound starts much later is not waited for.
constexpr size_t kMaxHeldVideo = 24;
constexpr size_t kMaxHeld = 400;
// While the pictures wait for a keyframe (a long GOP after a seek), the sound of the range is
// held for longer: several seconds of it arrive before the keyframe does.
constexpr size_t kMaxHeldBeforePicture = 3000;
// A demuxer that keeps asking to be called again without giving a packet has nothing more.
constexpr int kMaxRetries = 1000;
// Packets that do not decode are passed over (a damaged spot in the middle of a file); this
// many in a row mean the file cannot be decoded at all.
constexpr int kMaxBadPackets = 200;
// Pictures larger than 8K UHD (with room to spare) are taken for a damaged header: decoding
// a "524448x120" stream allocates without end and gives nothing anyone can use.
constexpr int64_t kMaxPicturePixels = 8192LL * 4320;
constexpr int kMaxPictureSide = 16384;
// Furthest the reader seeks back before it starts from the beginning of the file.
constexpr int64_t kMaxBackoffUs = 64 * 1000000LL;
// What the reader keeps for a following range is normally about a second (the sound is read
// ahead of the pictures' stop); a stream that ends long before the other would make it keep
// the rest of the file, so past these it gives up and the next range starts with a seek.
constexpr int64_t kMaxKeptBytes = 256LL * 1024 * 1024;
constexpr size_t kMaxKeptFrames = 4000;
// Pictures decoded ahead for the next range while the last one's end is encoded: enough to
// keep the encoder fed when the next range starts, few enough to stay small.
constexpr int kMaxAheadPictures = 12;

} // namespace

ClipReader::ClipReader(const std::atomic<bool> *stop)
    : m_stop(stop), m_interrupter(stop), m_pkt(av::NewPacket()), m_frame(av::NewFrame())
{
}

ClipReader::~ClipReader() = default;

bool ClipReader::fail(QString *error, const QString &why)
{
    m_failed = true;
    if (error)
        *error = why;
    return false;
}

void ClipReader::setStopFlag(const std::atomic<bool> *stop)
{
    m_stop = stop;
    m_interrupter.setStopFlag(stop);
}

bool ClipReader::open(const QString &path, bool wantVideo, bool wantAudio, QString *error)
{
    m_path = path;
    m_wantedAudio = wantAudio;
    if (!m_pkt || !m_frame)
        return fail(error, QStringLiteral("内存不足"));
    m_interrupter.setDeadline(std::chrono::seconds(15));
    m_ic = av::OpenInput(path, &m_interrupter, error);
    m_interrupter.clearDeadline();
    if (!m_ic) {
        m_failed = true;
        return false;
    }
    m_originUs = TimelineOriginUs(m_ic.get());
    // Only a bound for a stop past the end: the probe has measured the timeline already.
    m_durationUs = m_ic->duration != AV_NOPTS_VALUE && m_ic->duration > 0 ? m_ic->duration : 0;
    if (wantVideo)
        m_video.index = av::BestStream(m_ic.get(), AVMEDIA_TYPE_VIDEO);
    if (wantAudio)
        m_audio.index = av::BestStream(m_ic.get(), AVMEDIA_TYPE_AUDIO);
    for (unsigned i = 0; i < m_ic->nb_streams; ++i) {
        const bool used = int(i) == m_video.index || int(i) == m_audio.index;
        m_ic->streams[i]->discard = used ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    if (wantVideo && m_video.index < 0)
        return fail(error, QStringLiteral("文件中没有视频: %1").arg(path));
    if (hasVideo() && !openDecoder(m_video, error))
        return false;
    if (hasAudio()) {
        QString audioError;
        // Sound that cannot be decoded is replaced by silence rather than failing the render.
        if (!openDecoder(m_audio, &audioError)) {
            m_failed = false;
            m_ic->streams[m_audio.index]->discard = AVDISCARD_ALL;
            m_audio = Stream();
        }
    }
    return true;
}

bool ClipReader::openDecoder(Stream &s, QString *error)
{
    s.st = m_ic->streams[s.index];
    const AVCodec *codec = avcodec_find_decoder(s.st->codecpar->codec_id);
    if (!codec)
        return fail(error, QStringLiteral("不支持的编码 %1: %2")
                               .arg(QString::fromLatin1(avcodec_get_name(s.st->codecpar->codec_id)), m_path));
    s.dec.reset(avcodec_alloc_context3(codec));
    if (!s.dec)
        return fail(error, QStringLiteral("内存不足"));
    int rc = avcodec_parameters_to_context(s.dec.get(), s.st->codecpar);
    if (rc < 0)
        return fail(error, QStringLiteral("无法设置解码器: %1").arg(av::ErrorText(rc)));
    s.dec->pkt_timebase = s.st->time_base;
    if (s.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVCodecParameters *par = s.st->codecpar;
        if (par->width > kMaxPictureSide || par->height > kMaxPictureSide
            || int64_t(par->width) * par->height > kMaxPicturePixels)
            return fail(error, QStringLiteral("画面尺寸不正确 (%1x%2): %3").arg(par->width).arg(par->height).arg(m_path));
        s.dec->max_pixels = kMaxPicturePixels;
    }
    s.dec->thread_count = 0; // one per core
    s.dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    rc = avcodec_open2(s.dec.get(), codec, nullptr);
    if (rc < 0)
        return fail(error, QStringLiteral("无法打开解码器 %1: %2").arg(QString::fromLatin1(codec->name), av::ErrorText(rc)));
    s.sampleRate = s.dec->sample_rate;
    return true;
}

double ClipReader::videoFrameRate() const
{
    if (!m_video.st)
        return 0;
    AVRational r = m_video.st->avg_frame_rate;
    if (r.num <= 0 || r.den <= 0)
        r = m_video.st->r_frame_rate;
    return (r.num > 0 && r.den > 0) ? av_q2d(r) : 0;
}

bool ClipReader::videoInterlaced() const
{
    if (!m_video.st)
        return false;
    const AVFieldOrder order = m_video.st->codecpar->field_order;
    return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
}

int64_t ClipReader::videoStartUs() const
{
    return m_video.st ? std::max<int64_t>(0, StreamStartUs(m_ic.get(), m_video.st)) : 0;
}

int64_t ClipReader::audioPositionUs() const
{
    if (m_audio.sampleRate <= 0)
        return 0;
    return av_rescale(m_audio.nextPos, 1000000, m_audio.sampleRate);
}

bool ClipReader::start(int64_t videoStartUs, int64_t videoStopUs, int64_t audioStartUs, int64_t audioStopUs,
                       QString *error)
{
    m_video.startUs = videoStartUs;
    m_video.stopUs = videoStopUs;
    m_video.done = !hasVideo();
    m_video.nextUs = videoStartUs;
    m_audio.startUs = audioStartUs;
    m_audio.stopUs = audioStopUs;
    m_audio.done = !hasAudio();
    m_audioReachedStop = false;
    m_pictureBeforeStart = false;
    m_picturesInRange = 0;
    m_eof = false;
    m_keeping = false;
    dropKept();
    int64_t target = INT64_MAX;
    if (hasVideo())
        target = std::min(target, videoStartUs);
    if (hasAudio())
        target = std::min(target, audioStartUs);
    m_seekTargetUs = target == INT64_MAX ? 0 : std::max<int64_t>(0, target);
    m_backoffUs = 0;
    if (m_seekTargetUs == 0 && m_atFileStart)
        return true; // already there
    m_backoffUs = -1; // first seek: straight to the target
    return seekBack(error);
}

// Seeks to the keyframe before the target, each call further back than the last.
bool ClipReader::seekBack(QString *error)
{
    if (m_backoffUs < 0)
        m_backoffUs = 0;
    else
        m_backoffUs = m_backoffUs == 0 ? 1000000 : m_backoffUs * 2 + 1000000;
    int64_t target = m_seekTargetUs - m_backoffUs;
    if (m_backoffUs > kMaxBackoffUs)
        target = 0;
    target = std::max<int64_t>(0, target);

    int rc = SeekContinuous(m_ic.get(), m_originUs + target);
    // MPEG streams carry their stream headers in band, some writers only once at the very
    // start; a seek by time to the first timestamp may land just after them.
    const int flags = m_ic->iformat->flags;
    if (rc < 0 && target == 0 && (flags & AVFMT_TS_DISCONT) && !(flags & AVFMT_NO_BYTE_SEEK))
        rc = av_seek_frame(m_ic.get(), -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    const int64_t ts = m_originUs + target;
    if (rc < 0)
        rc = avformat_seek_file(m_ic.get(), -1, INT64_MIN, ts, ts, 0);
    if (rc < 0 && target > 0) {
        // Some files cannot seek by time; reading from the start is slow but right.
        target = 0;
        rc = avformat_seek_file(m_ic.get(), -1, INT64_MIN, m_originUs, m_originUs, 0);
    }
    if (rc < 0) {
        rc = av_seek_frame(m_ic.get(), -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
        if (rc < 0)
            return fail(error, QStringLiteral("无法定位输入文件 %1: %2").arg(m_path, av::ErrorText(rc)));
        target = 0;
    }
    m_atFileStart = target == 0;
    m_restarted = true;
    // Reading starts over: whatever the streams had reached belonged to the old spot, and
    // nothing of it was delivered (the held frames go with it).
    for (Stream *s : {&m_video, &m_audio}) {
        if (s->dec)
            avcodec_flush_buffers(s->dec.get());
        s->sawFirst = false;
        s->done = !s->dec;
    }
    m_audioReachedStop = false;
    m_pictureBeforeStart = false;
    m_picturesInRange = 0;
    m_video.nextUs = m_video.startUs;
    m_audio.nextPos = 0;
    m_held.clear();
    dropKept();
    m_eof = false;
    return true;
}

void ClipReader::keepFrom(int64_t videoUs, int64_t audioUs)
{
    m_keeping = true;
    m_keepVideoUs = videoUs;
    m_keepAudioUs = audioUs;
}

bool ClipReader::canContinueAt(int64_t videoUs, int64_t audioUs) const
{
    // Range times come from seconds given as doubles: a microsecond either way is the same spot.
    auto near = [](int64_t a, int64_t b) { return std::abs(a - b) <= 1; };
    // The end of the file is no obstacle: the streams that were done kept their packets, and
    // the others had been read to their end.
    if (!m_keeping || m_failed || !m_held.empty() || !m_video.done || !m_audio.done || !hasVideo())
        return false;
    return near(videoUs, m_keepVideoUs) && (!hasAudio() || near(audioUs, m_keepAudioUs));
}

void ClipReader::continueAt(int64_t videoStartUs, int64_t videoStopUs, int64_t audioStartUs, int64_t audioStopUs)
{
    m_video.startUs = videoStartUs;
    m_video.stopUs = videoStopUs;
    m_video.done = !hasVideo();
    m_audio.startUs = audioStartUs;
    m_audio.stopUs = audioStopUs;
    m_audio.done = !hasAudio();
    // Both streams are already in place: nothing is held back waiting for a first frame.
    m_video.sawFirst = true;
    m_audio.sawFirst = true;
    m_atFileStart = false;
    m_audioReachedStop = false;
    // The last range's pictures lie before this one.
    m_pictureBeforeStart = true;
    m_picturesInRange = 0;
    m_eof = false;
    m_keeping = false;
    m_replay = std::move(m_kept);
    m_replayPackets = std::move(m_keptPackets);
    m_kept.clear();
    m_keptPackets.clear();
    m_keptBytes = 0;
}

namespace {
// Frames decoded ahead belong to no range yet: the reader keeps them all.
class NoSink : public ClipSink
{
public:
    bool videoFrame(AVFrame *, int64_t, int64_t, QString *) override { return true; }
    bool audioFrame(AVFrame *, int64_t, QString *) override { return true; }
};
} // namespace

bool ClipReader::decodeAhead()
{
    if (!m_keeping || m_failed || m_eof || !m_video.done || !m_audio.done || !m_held.empty())
        return false;
    int pictures = 0;
    for (const Held &h : m_kept)
        pictures += h.video ? 1 : 0;
    if (pictures >= kMaxAheadPictures)
        return false;
    av::PacketPtr pkt;
    if (!m_keptPackets.empty()) {
        pkt = std::move(m_keptPackets.front());
        m_keptPackets.pop_front();
        m_keptBytes -= pkt->size;
    } else {
        pkt = av::NewPacket();
        // The end of the file (or a read error) is for the next range to meet.
        if (!pkt || ReadContinuousPacket(m_ic.get(), pkt.get()) < 0)
            return false;
    }
    Stream *s = pkt->stream_index == m_video.index ? &m_video : pkt->stream_index == m_audio.index ? &m_audio : nullptr;
    if (!s || !s->dec)
        return true;
    const int rc = avcodec_send_packet(s->dec.get(), pkt.get());
    if (rc < 0 && rc != AVERROR(EAGAIN))
        ++m_badPackets;
    // The streams are done: every frame lands among the kept ones.
    NoSink none;
    QString ignored;
    return drainDecoder(*s, none, &ignored) && m_keeping;
}

void ClipReader::stopKeeping()
{
    m_keeping = false;
    m_kept.clear();
    m_keptPackets.clear();
    m_keptBytes = 0;
}

// Reading starts over elsewhere: nothing read so far belongs after this range any more.
void ClipReader::dropKept()
{
    m_kept.clear();
    m_keptPackets.clear();
    m_keptBytes = 0;
    m_replay.clear();
    m_replayPackets.clear();
}

// copy: the frame is also handed to the sink, so the kept one is a second reference.
bool ClipReader::keepFrame(bool video, AVFrame *f, int64_t timeUs, int64_t durUs, int64_t pos, bool copy)
{
    if (!m_keeping)
        return true;
    if (m_kept.size() >= kMaxKeptFrames) {
        stopKeeping();
        return true;
    }
    Held h;
    h.video = video;
    h.frame.reset(copy ? av_frame_clone(f) : av_frame_alloc());
    if (!h.frame) {
        stopKeeping(); // the next range simply seeks
        return true;
    }
    if (!copy)
        av_frame_move_ref(h.frame.get(), f);
    h.timeUs = timeUs;
    h.durationUs = durUs;
    h.pos = pos;
    m_kept.push_back(std::move(h));
    return true;
}

bool ClipReader::keepPacket(AVPacket *pkt)
{
    if (!m_keeping)
        return false;
    av::PacketPtr kept = av::NewPacket();
    if (!kept || m_keptBytes + pkt->size > kMaxKeptBytes) {
        stopKeeping();
        return false;
    }
    m_keptBytes += pkt->size;
    av_packet_move_ref(kept.get(), pkt);
    m_keptPackets.push_back(std::move(kept));
    return true;
}

bool ClipReader::settled() const
{
    const bool v = m_video.done || m_video.sawFirst;
    const bool a = m_audio.done || m_audio.sawFirst;
    return v && a;
}

bool ClipReader::deliver(Held held, ClipSink &sink, QString *error)
{
    bool ok = held.video ? sink.videoFrame(held.frame.get(), held.timeUs, held.durationUs, error)
                         : sink.audioFrame(held.frame.get(), held.pos, error);
    if (!ok)
        m_failed = true;
    return ok;
}

bool ClipReader::releaseHeld(ClipSink &sink, QString *error)
{
    while (!m_held.empty()) {
        Held h = std::move(m_held.front());
        m_held.pop_front();
        if (!deliver(std::move(h), sink, error))
            return false;
    }
    return true;
}

bool ClipReader::onVideoFrame(AVFrame *f, ClipSink &sink, QString *error)
{
    Stream &s = m_video;
    if (s.done && !m_keeping)
        return true;
    const AVRational tb = s.st->time_base;
    int64_t durUs = f->pkt_duration > 0 ? av_rescale_q(f->pkt_duration, tb, kMicros) : 0;
    if (durUs <= 0) {
        const double rate = videoFrameRate();
        durUs = rate > 0 ? int64_t(1e6 / rate + 0.5) : 40000;
    }
    const int64_t ts = f->best_effort_timestamp;
    // AVI stores no presentation times; a frame the decoder could not place follows the last.
    const int64_t timeUs = ts != AV_NOPTS_VALUE ? av_rescale_q(ts, tb, kMicros) - m_originUs : s.nextUs;
    s.nextUs = timeUs + durUs;

    if (!s.done && !s.sawFirst) {
        // After a seek that landed between keyframes (an MPEG transport stream has no index),
        // what decodes before the next keyframe is not a picture of the source.
        if (!m_atFileStart && !f->key_frame && f->pict_type != AV_PICTURE_TYPE_I)
            return true;
        s.sawFirst = true;
        if (timeUs > s.startUs && !m_atFileStart)
            return seekBack(error) ? true : false;
    }
    return placeVideo(f, timeUs, durUs, sink, error);
}

// Hands on a picture of the range, or keeps one past it for the next range.
bool ClipReader::placeVideo(AVFrame *f, int64_t timeUs, int64_t durUs, ClipSink &sink, QString *error)
{
    Stream &s = m_video;
    if (s.done || timeUs >= s.stopUs) {
        s.done = true;
        return timeUs >= m_keepVideoUs ? keepFrame(true, f, timeUs, durUs, 0, false) : true;
    }
    if (timeUs < s.startUs) {
        m_pictureBeforeStart = true;
        return true;
    }
    s.lastUs = timeUs;
    // The container's pixel shape wins over the codec's, as in players.
    f->sample_aspect_ratio = av_guess_sample_aspect_ratio(m_ic.get(), s.st, f);
    ++m_picturesInRange;
    Held h;
    h.video = true;
    h.frame.reset(av_frame_alloc());
    if (!h.frame)
        return fail(error, QStringLiteral("内存不足"));
    av_frame_move_ref(h.frame.get(), f);
    h.timeUs = timeUs;
    h.durationUs = durUs;
    if (settled() && m_held.empty())
        return deliver(std::move(h), sink, error);
    m_held.push_back(std::move(h));
    return true;
}

bool ClipReader::onAudioFrame(AVFrame *f, ClipSink &sink, QString *error)
{
    Stream &s = m_audio;
    if (s.done && !m_keeping)
        return true;
    const int rate = f->sample_rate > 0 ? f->sample_rate : s.sampleRate;
    if (rate <= 0 || f->nb_samples <= 0)
        return true;
    if (rate != s.sampleRate) {
        // The rate changed mid-stream: positions continue in the new rate.
        s.nextPos = s.sampleRate > 0 ? av_rescale(s.nextPos, rate, s.sampleRate) : 0;
        s.sampleRate = rate;
    }
    const int64_t originPos = av_rescale(m_originUs, rate, 1000000);
    const int64_t ts = f->best_effort_timestamp;
    int64_t pos = ts != AV_NOPTS_VALUE ? av_rescale_q(ts, s.st->time_base, AVRational{1, rate}) - originPos : s.nextPos;
    if (!s.done && !s.sawFirst) {
        s.sawFirst = true;
        // A couple of milliseconds of slack: container times of sound are often rounded.
        if (pos > av_rescale(s.startUs, rate, 1000000) + rate / 500 && !m_atFileStart)
            return seekBack(error) ? true : false;
    } else if (ts == AV_NOPTS_VALUE || std::abs(pos - s.nextPos) <= rate / 10) {
        // Sound is continuous; container times jitter by a few samples, counting does not.
        pos = s.nextPos;
    }
    s.nextPos = pos + f->nb_samples;
    return placeAudio(f, pos, sink, error);
}

// Hands on the sound of the range; what reaches past where the next range starts is kept too.
bool ClipReader::placeAudio(AVFrame *f, int64_t pos, ClipSink &sink, QString *error)
{
    Stream &s = m_audio;
    const int rate = f->sample_rate > 0 ? f->sample_rate : s.sampleRate;
    if (m_keeping && pos + f->nb_samples > av_rescale(m_keepAudioUs, rate, 1000000))
        keepFrame(false, f, 0, 0, pos, !s.done);
    if (s.done)
        return true;
    const int64_t startPos = av_rescale(s.startUs, rate, 1000000);
    const int64_t stopPos = av_rescale(s.stopUs, rate, 1000000);
    if (pos + f->nb_samples <= startPos)
        return true;
    if (pos >= stopPos) {
        s.done = true;
        m_audioReachedStop = true;
        return true;
    }
    if (pos + f->nb_samples >= stopPos) {
        s.done = true;
        m_audioReachedStop = true;
    }
    Held h;
    h.frame.reset(av_frame_alloc());
    if (!h.frame)
        return fail(error, QStringLiteral("内存不足"));
    av_frame_move_ref(h.frame.get(), f);
    h.pos = pos;
    if (settled() && m_held.empty())
        return deliver(std::move(h), sink, error);
    m_held.push_back(std::move(h));
    return true;
}

// Takes every frame the decoder has ready. Stops early when a frame made the reader seek.
bool ClipReader::drainDecoder(Stream &s, ClipSink &sink, QString *error)
{
    for (;;) {
        const int rc = avcodec_receive_frame(s.dec.get(), m_frame.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            // One bad frame; the decoder may hold good ones behind it, which a return here
            // would leave in it (and the next packet would find it full).
            if (++m_badPackets > kMaxBadPackets)
                return fail(error, QStringLiteral("无法解码输入文件 %1: %2").arg(m_path, av::ErrorText(rc)));
            continue;
        }
        m_badPackets = 0;
        const bool wasSettled = settled();
        m_restarted = false;
        bool ok = &s == &m_video ? onVideoFrame(m_frame.get(), sink, error) : onAudioFrame(m_frame.get(), sink, error);
        av_frame_unref(m_frame.get());
        if (!ok)
            return false;
        if (m_restarted)
            return true; // the decoders were flushed; what they held belonged to the old spot
        if (!wasSettled && settled() && !releaseHeld(sink, error))
            return false;
    }
}

bool ClipReader::step(ClipSink &sink, QString *error)
{
    if (m_failed)
        return false;
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        return fail(error, QStringLiteral("已停止"));
    if (m_video.done && m_audio.done)
        return endOfRanges(sink, error);
    // What the last range kept comes first, in the order it was read.
    if (!m_replay.empty()) {
        Held h = std::move(m_replay.front());
        m_replay.pop_front();
        const bool ok = h.video ? placeVideo(h.frame.get(), h.timeUs, h.durationUs, sink, error)
                                : placeAudio(h.frame.get(), h.pos, sink, error);
        if (!ok)
            return false;
        return !(m_video.done && m_audio.done) || endOfRanges(sink, error);
    }
    // Waiting for the other stream's first frame has limits (memory, a stream that starts late).
    size_t heldVideo = 0;
    for (const Held &h : m_held)
        heldVideo += h.video ? 1 : 0;
    const bool waitingForSound = m_video.done || m_video.sawFirst;
    const size_t heldLimit = waitingForSound ? kMaxHeld : kMaxHeldBeforePicture;
    if (!m_held.empty() && (heldVideo > kMaxHeldVideo || m_held.size() > heldLimit)) {
        m_video.sawFirst = true;
        m_audio.sawFirst = true;
        if (!releaseHeld(sink, error))
            return false;
    }

    if (!m_replayPackets.empty()) {
        av::PacketPtr pkt = std::move(m_replayPackets.front());
        m_replayPackets.pop_front();
        if (!handlePacket(pkt.get(), sink, error))
            return false;
    } else {
        int rc = ReadContinuousPacket(m_ic.get(), m_pkt.get());
        if (rc == AVERROR(EAGAIN) && ++m_retries <= kMaxRetries)
            return true;
        if (rc < 0)
            return endOfInput(sink, error);
        m_retries = 0;
        if (!handlePacket(m_pkt.get(), sink, error))
            return false;
    }
    if (m_video.done && m_audio.done) {
        m_video.sawFirst = m_audio.sawFirst = true;
        return endOfRanges(sink, error);
    }
    return true;
}

// Decodes a packet of a stream still in its range; one of a stream that is done waits for
// the next range when that was asked for.
bool ClipReader::handlePacket(AVPacket *pkt, ClipSink &sink, QString *error)
{
    Stream *s = nullptr;
    if (pkt->stream_index == m_video.index)
        s = &m_video;
    else if (pkt->stream_index == m_audio.index)
        s = &m_audio;
    if (s && s->done) {
        if (!keepPacket(pkt))
            av_packet_unref(pkt);
        return true;
    }
    if (!s) {
        av_packet_unref(pkt);
        return true;
    }
    const int rc = avcodec_send_packet(s->dec.get(), pkt);
    av_packet_unref(pkt);
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
        if (++m_badPackets > kMaxBadPackets)
            return fail(error, QStringLiteral("无法解码输入文件 %1: %2").arg(m_path, av::ErrorText(rc)));
    }
    return drainDecoder(*s, sink, error);
}

// Both ranges are complete. Whatever the last range kept and this one did not get to stays
// kept, behind what this range kept itself (it was read earlier).
bool ClipReader::endOfRanges(ClipSink &sink, QString *error)
{
    if (m_keeping) {
        while (!m_replay.empty()) {
            m_kept.push_back(std::move(m_replay.front()));
            m_replay.pop_front();
        }
        while (!m_replayPackets.empty()) {
            m_keptBytes += m_replayPackets.front()->size;
            m_keptPackets.push_back(std::move(m_replayPackets.front()));
            m_replayPackets.pop_front();
        }
    } else {
        m_replay.clear();
        m_replayPackets.clear();
    }
    releaseHeld(sink, error);
    return false;
}

// The end of the file, or a read error past which nothing more can be had: what was decoded
// so far stands, as in any player. Reading goes on only from an earlier spot, when the seek
// is known to have gone too far (each such seek goes further back, down to the file's start).
bool ClipReader::endOfInput(ClipSink &sink, QString *error)
{
    if (m_interrupter.shouldStop())
        return fail(error, QStringLiteral("已停止"));
    m_restarted = false;
    for (Stream *s : {&m_video, &m_audio}) {
        if (!s->dec || s->done)
            continue;
        avcodec_send_packet(s->dec.get(), nullptr);
        if (!drainDecoder(*s, sink, error))
            return false;
        if (m_restarted)
            return true;
    }
    // No picture at all since the seek: it landed past the last keyframe before the range.
    if (hasVideo() && !m_video.done && !m_video.sawFirst && !m_atFileStart)
        return seekBack(error);
    m_eof = true;
    m_video.done = true;
    m_audio.done = true;
    m_video.sawFirst = m_audio.sawFirst = true;
    if (!releaseHeld(sink, error))
        return false;
    return false;
}

} // namespace kc
