#include "renderjob.h"

#include "audioencoder.h"
#include "clipreader.h"
#include "cuttiming.h"
#include "encodestage.h"
#include "outputmuxer.h"
#include "videoencoder.h"

#include <QFileInfo>
#include <QHash>

#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <optional>

namespace kc {

namespace {

QString CanonicalOrAbsolute(const QString &path)
{
    const QFileInfo fi(path);
    const QString c = fi.canonicalFilePath();
    return c.isEmpty() ? fi.absoluteFilePath() : c;
}

using SharedFrame = std::shared_ptr<AVFrame>;

SharedFrame TakeFrame(AVFrame *from)
{
    SharedFrame f(av_frame_alloc(), [](AVFrame *p) { av_frame_free(&p); });
    if (f)
        av_frame_move_ref(f.get(), from);
    return f;
}

// Hands the frames of one clip to the encoders on the encoding thread: pictures through the
// slot mapper, sound cut at the sample. The bookkeeping happens here, on the reading thread;
// only the heavy work is posted.
//
// The piece's timeline starts at its first picture, not at the asked start: the first picture
// kept lies up to a frame after it, and sound cut at the asked start would run ahead of the
// pictures by that much. So the sound starts where the first picture does, and it lasts as
// long as the pictures do: each piece is in step, and consecutive pieces of one source join
// without a sample lost or repeated. Sound is held back until the pictures have reached it.
class SegmentSink : public ClipSink
{
public:
    // endsPiece: another piece follows in a file of its own; the last picture is marked so.
    SegmentSink(EncodeStage &stage, VideoEncoder &video, AudioEncoder *audio, bool sameRate, int64_t firstSlot,
                int64_t videoStartUs, int64_t videoStopUs, int64_t audioStartUs, int64_t audioStopUs,
                bool endsPiece)
        : m_stage(stage), m_video(video), m_audio(audio), m_mapper(video.rateNum(), video.rateDen(), sameRate),
          m_offset(firstSlot), m_vStart(videoStartUs), m_vStop(videoStopUs), m_aStart(audioStartUs),
          m_aStop(audioStopUs), m_endsPiece(endsPiece)
    {
    }

    bool videoFrame(AVFrame *frame, int64_t timeUs, int64_t durationUs, QString *error) override
    {
        if (m_frames == 0) {
            // A start inside a frame moves the piece to that frame's successor; a picture that
            // starts later than that (a video stream that begins after the sound) is put in its
            // place instead, its first picture standing in before it. Sound that could not wait
            // for the first picture has already fixed the start.
            const int64_t late = timeUs - m_vStart;
            const bool startsInsideAFrame = late < std::max<int64_t>(durationUs, 1);
            const int64_t shiftUs = m_anchored ? m_soundStartUs - m_aStart : startsInsideAFrame ? late : 0;
            m_mapper.anchorAt(shiftUs);
            if (!m_anchored && !setAnchor(shiftUs, error))
                return false;
        }
        const SlotRun run = m_mapper.add(timeUs - m_vStart);
        if (m_pending && !postPicture(run, error))
            return false;
        m_pending = TakeFrame(frame);
        if (!m_pending)
            return outOfMemory(error);
        m_lastEndUs = timeUs + durationUs;
        m_frames++;
        // The pictures have reached further: the sound up to there can go.
        return releaseSound(m_soundStartUs + m_mapper.slotStartUs(m_mapper.endSlot()), error);
    }

    bool audioFrame(AVFrame *frame, int64_t pos, QString *error) override
    {
        if (!m_audio)
            return true;
        SharedFrame f = TakeFrame(frame);
        if (!f)
            return outOfMemory(error);
        m_held.push_back(HeldSound{std::move(f), pos});
        m_heldSamples += m_held.back().frame->nb_samples;
        if (!m_anchored) {
            // No picture for a long stretch: the sound keeps the asked start.
            if (m_heldSamples > int64_t(m_held.back().frame->sample_rate) * kMaxHeldSeconds)
                return setAnchor(0, error);
            return true;
        }
        return releaseSound(m_soundStartUs + m_mapper.slotStartUs(m_mapper.endSlot()), error);
    }

    // The clip is over: the last picture lasts up to the cut's stop or its own end, and the
    // sound as long as the pictures.
    bool finish(QString *error)
    {
        if (m_pending) {
            // A frame's own length is only a guess where frame times are not constant: there
            // the last picture lasts to the cut's stop.
            const int64_t end = m_mapper.regular() ? std::min(m_vStop, m_lastEndUs) : m_vStop;
            if (!postPicture(m_mapper.finish(end - m_vStart), error, m_endsPiece))
                return false;
        }
        if (!m_anchored && !setAnchor(0, error))
            return false;
        m_final = true;
        const int64_t pictureUs = m_mapper.slotStartUs(m_mapper.endSlot());
        // Sound asked shorter than the pictures stays that much shorter (silence follows).
        const int64_t shortfall = std::max<int64_t>(0, (m_vStop - m_vStart) - (m_aStop - m_aStart));
        return releaseSound(m_soundStartUs + std::max<int64_t>(0, pictureUs - shortfall), error);
    }

    int64_t frames() const { return m_frames; }
    // The sound (in file time) the clip may use, past the asked stop: the pictures may end up
    // to a frame after it.
    static int64_t soundReadAheadUs() { return 1000000; }

private:
    struct HeldSound {
        SharedFrame frame;
        int64_t pos;
    };
    static constexpr int kMaxHeldSeconds = 20;

    bool setAnchor(int64_t shiftUs, QString *error)
    {
        m_anchored = true;
        m_soundStartUs = m_aStart + shiftUs;
        return releaseSound(m_soundStartUs, error);
    }

    // Writes the held sound that lies before untilUs (file time), cut at the sound's start.
    bool releaseSound(int64_t untilUs, QString *error)
    {
        if (!m_anchored)
            return true;
        // Far too much sound waiting for pictures (a picture stream that ended early): it is
        // written rather than held without end.
        const bool overflow = !m_final && !m_held.empty()
                              && m_heldSamples > int64_t(m_held.front().frame->sample_rate) * kMaxHeldSeconds;
        while (!m_held.empty()) {
            HeldSound &h = m_held.front();
            const int rate = h.frame->sample_rate;
            const int64_t n = h.frame->nb_samples;
            if (rate != m_rate) {
                m_rate = rate;
                m_written = m_started ? av_rescale(m_writtenUs, rate, 1000000) : av_rescale(m_soundStartUs, rate, 1000000);
            }
            const int64_t untilPos = overflow ? h.pos + n : av_rescale(untilUs, rate, 1000000);
            if (h.pos > m_written && m_written < untilPos) {
                // A hole in the sound (or sound that starts after the cut): silence keeps the
                // pictures and the sound together.
                const int64_t upTo = std::min(h.pos, untilPos);
                const int64_t silence = av_rescale(upTo - m_written, m_audio->sampleRate(), rate);
                AudioEncoder *audio = m_audio;
                if (!post([audio, silence](QString *e) { return audio->pushSilence(silence, e); }, false, error))
                    return false;
                m_written = upTo;
            }
            const SampleWindow w = WindowOf(h.pos, n, m_written, untilPos);
            if (w.take > 0) {
                AudioEncoder *audio = m_audio;
                SharedFrame f = h.frame;
                if (!post([audio, f, w](QString *e) { return audio->push(f.get(), w.skip, w.take, e); }, false, error))
                    return false;
                m_written = h.pos + w.skip + w.take;
                m_started = true;
            }
            m_writtenUs = av_rescale(m_written, 1000000, rate);
            // A frame that reaches past the limit waits for the pictures (unless this is the end).
            if (h.pos + n > untilPos && !m_final)
                break;
            m_heldSamples -= n;
            m_held.pop_front();
        }
        return true;
    }

    bool post(EncodeStage::Work work, bool picture, QString *error)
    {
        if (m_stage.post(std::move(work), picture))
            return true;
        *error = QStringLiteral("编码失败"); // the stage's own reason replaces this
        return false;
    }

    bool postPicture(const SlotRun &run, QString *error, bool last = false)
    {
        SharedFrame f = std::move(m_pending);
        m_pending.reset();
        if (run.count <= 0)
            return true; // dropped by the rate conversion
        VideoEncoder *video = &m_video;
        const int64_t first = m_offset + run.first;
        const int64_t count = run.count;
        return post([video, f, first, count, last](QString *e) { return video->encode(f.get(), first, count, e, last); },
                    true, error);
    }

    static bool outOfMemory(QString *error)
    {
        *error = QStringLiteral("内存不足");
        return false;
    }

    EncodeStage &m_stage;
    VideoEncoder &m_video;
    AudioEncoder *m_audio;
    FrameSlotMapper m_mapper;
    int64_t m_offset;        // the clip's first slot in the output
    int64_t m_vStart, m_vStop, m_aStart, m_aStop;
    bool m_endsPiece;
    SharedFrame m_pending;   // the picture whose run is not known yet
    int64_t m_lastEndUs = 0;
    int64_t m_frames = 0;
    bool m_anchored = false; // the first picture (or the lack of one) has set the start
    bool m_final = false;
    int64_t m_soundStartUs = 0;
    std::deque<HeldSound> m_held;
    int64_t m_heldSamples = 0;
    int m_rate = 0;
    int64_t m_written = 0;   // sound written, as a sample position of the file at m_rate
    int64_t m_writtenUs = 0;
    bool m_started = false;
};

struct Segment {
    ClipRange videoClip;
    std::optional<ClipRange> audioClip;
    std::unique_ptr<ClipReader> reader;       // pictures, and the sound when from the same file
    ClipReader *source = nullptr;             // reader, or for later pieces the first piece's
    std::unique_ptr<ClipReader> audioReader;  // sound from another file
    int64_t vStart = 0, vStop = 0, aStart = 0, aStop = 0;
    bool soundFromMainReader = false;
    bool continued = false;                   // the reader goes on from the previous render
};

// Pieces are ranges of one source, each with the sound of its own range (or none).
bool PiecesAreOneSource(const RenderRequest &r, QString *error)
{
    bool ok = r.pieceOutputs.size() == r.video.size();
    for (int i = 0; ok && i < r.video.size(); ++i) {
        ok = r.video.at(i).file == r.video.first().file;
        if (ok && i < r.audio.size()) {
            const ClipRange &a = r.audio.at(i);
            ok = a.file == r.video.first().file && a.start == r.video.at(i).start && a.stop == r.video.at(i).stop;
        }
    }
    if (!ok)
        *error = QStringLiteral("分段输出的片段必须来自同一个文件，每段一个输出文件");
    return ok;
}

} // namespace

struct RenderJob::Impl {
    RenderRequest req;
    std::vector<Segment> segments;
    OutputMuxer muxer;                        // the output, or the first piece's
    VideoEncoder video;
    std::unique_ptr<AudioEncoder> audio;      // for pieces, the piece's being read
    // Pieces: the files after the first, one slot per piece made before the render starts, so
    // that the reading thread fills its slot while the user-interface thread names (and lets
    // go of) the files of earlier pieces; and the sound encoder of the piece before the one
    // being read, which may still be draining on the encoding thread.
    bool wantSound = false;
    std::vector<std::unique_ptr<OutputMuxer>> pieceMuxers; // [0] is muxer
    std::mutex pieceMuxersLock;
    int lastStarted = 0;
    std::unique_ptr<AudioEncoder> previousAudio;
    // The next piece's file, made ahead (ready false, with the reason, when it could not be).
    struct NextFile {
        std::unique_ptr<OutputMuxer> muxer;
        int stream = -1;
        std::unique_ptr<AudioEncoder> audio;
        bool ready = false;
        QString error;
    } next;
    double totalSeconds = 0;
    bool prepared = false;
    std::unique_ptr<ClipReader> offered;
    std::unique_ptr<ClipReader> leftover;
    // A render of one range of one file (its sound, if any, from the same file) is what the
    // pieces of a split are: its reader may go on to the next range.
    bool followable = false;

    void abortAll()
    {
        std::lock_guard<std::mutex> lock(pieceMuxersLock);
        muxer.abort();
        for (auto &m : pieceMuxers)
            if (m)
                m->abort();
    }
    // After a failure: the pieces already complete stay, to be named as they are announced.
    void abortUnfinished()
    {
        std::lock_guard<std::mutex> lock(pieceMuxersLock);
        if (!muxer.isComplete())
            muxer.abort();
        for (auto &m : pieceMuxers)
            if (m && !m->isComplete())
                m->abort();
    }
    OutputMuxer &lastMuxer() { return lastStarted == 0 ? muxer : *pieceMuxers[size_t(lastStarted)]; }
    bool pieces() const { return !req.pieceOutputs.isEmpty(); }
};

bool RenderJob::commitPiece(int piece, QString *error)
{
    std::lock_guard<std::mutex> lock(d->pieceMuxersLock);
    if (piece == 0)
        return d->muxer.commit(error);
    std::unique_ptr<OutputMuxer> &m = d->pieceMuxers.at(size_t(piece));
    const bool ok = m->commit(error);
    if (ok)
        m.reset(); // done with: the encoding side let go of it when it completed the file
    return ok;
}

void RenderJob::offerReader(std::unique_ptr<ClipReader> reader)
{
    d->offered = std::move(reader);
}

bool RenderJob::continuesReader() const
{
    return !d->segments.empty() && d->segments.front().continued;
}

std::unique_ptr<ClipReader> RenderJob::takeReader()
{
    if (d->leftover)
        d->leftover->setStopFlag(nullptr); // this job's flag goes with it
    return std::move(d->leftover);
}

RenderJob::RenderJob(RenderRequest request) : d(new Impl)
{
    d->req = std::move(request);
}

RenderJob::~RenderJob()
{
    // A job that never finished leaves nothing behind.
    d->abortAll();
}

double RenderJob::totalSeconds() const
{
    return d->totalSeconds;
}

bool RenderJob::prepare(QString *error)
{
    const RenderRequest &r = d->req;
    if (r.video.isEmpty()) {
        *error = QStringLiteral("没有要输出的视频片段");
        return false;
    }
    if (r.audio.size() > r.video.size()) {
        *error = QStringLiteral("音频片段比视频片段多");
        return false;
    }
    if (d->pieces() && !PiecesAreOneSource(r, error))
        return false;
    const QString firstOutput = d->pieces() ? r.pieceOutputs.first() : r.outputPath;
    if (firstOutput.isEmpty()) {
        *error = QStringLiteral("没有指定输出文件");
        return false;
    }
    // Output file by canonical path; a split may have thousands of pieces of one source.
    QHash<QString, QString> outputs;
    for (const QString &out : d->pieces() ? r.pieceOutputs : QStringList{r.outputPath})
        outputs.insert(CanonicalOrAbsolute(out), out);
    QHash<QString, bool> inputIsOutput;
    const auto isOutput = [&](const QString &file) {
        auto known = inputIsOutput.constFind(file);
        if (known == inputIsOutput.constEnd())
            known = inputIsOutput.insert(file, outputs.contains(CanonicalOrAbsolute(file)));
        return *known;
    };
    const bool wantSound = !r.plan.audio.encoder.isEmpty() && (r.plan.audioRequired || !r.audio.isEmpty());
    d->wantSound = wantSound;

    for (int i = 0; i < r.video.size(); ++i) {
        Segment seg;
        seg.videoClip = r.video.at(i);
        if (i < r.audio.size())
            seg.audioClip = r.audio.at(i);
        for (const QString &f : {seg.videoClip.file, seg.audioClip ? seg.audioClip->file : QString()}) {
            if (!f.isEmpty() && isOutput(f)) {
                *error = QStringLiteral("输出文件不能是输入文件: %1").arg(outputs.value(CanonicalOrAbsolute(f)));
                return false;
            }
        }
        const bool soundHere = wantSound && seg.audioClip && seg.audioClip->file == seg.videoClip.file;
        const bool single = (r.video.size() == 1 || d->pieces()) && (!wantSound || !seg.audioClip || soundHere);
        d->followable = single;
        if (d->pieces() && i > 0) {
            // Read on from the piece before, by the first piece's reader.
            seg.source = d->segments.front().source;
            seg.continued = true;
        } else if (single && d->offered && d->offered->path() == seg.videoClip.file
                   && d->offered->wantedAudio() == soundHere) {
            seg.reader = std::move(d->offered);
            seg.reader->setStopFlag(&m_stop);
            seg.continued = true; // confirmed below, once the range is known
        } else {
            seg.reader = std::make_unique<ClipReader>(&m_stop);
            if (!seg.reader->open(seg.videoClip.file, true, soundHere, error))
                return false;
        }
        if (seg.reader)
            seg.source = seg.reader.get();
        ClipReader *reader = seg.source;
        seg.soundFromMainReader = soundHere && reader->hasAudio();
        seg.vStart = std::max<int64_t>(0, SecondsToMicros(seg.videoClip.start));
        seg.vStop = SecondsToMicros(seg.videoClip.stop);
        // Where the file's pictures begin late (an empty edit at the start of an MP4), a range
        // from before them starts with them: a piece begins at its first picture. (The few
        // milliseconds by which MPEG muxers start the sound first are not such a gap.)
        const int64_t picturesFrom = reader->videoStartUs();
        const bool startsBeforePictures = picturesFrom - seg.vStart > 100000;
        if (startsBeforePictures)
            seg.vStart = std::min(picturesFrom, seg.vStop);
        // A stop beyond the end of the file ends at the end of the file.
        if (reader->durationUs() > 0)
            seg.vStop = std::min(seg.vStop, reader->durationUs());
        if (seg.vStop <= seg.vStart) {
            *error = QStringLiteral("视频范围为空: %1 - %2 秒").arg(seg.videoClip.start).arg(seg.videoClip.stop);
            return false;
        }
        if (wantSound && seg.audioClip) {
            int64_t soundDuration = reader->durationUs();
            if (!soundHere) {
                seg.audioReader = std::make_unique<ClipReader>(&m_stop);
                if (!seg.audioReader->open(seg.audioClip->file, false, true, error))
                    return false;
                soundDuration = seg.audioReader->durationUs();
                if (!seg.audioReader->hasAudio())
                    seg.audioReader.reset(); // a file without sound gives silence
            }
            seg.aStart = std::max<int64_t>(0, SecondsToMicros(seg.audioClip->start));
            if (startsBeforePictures && soundHere && seg.audioClip->start == seg.videoClip.start)
                seg.aStart = seg.vStart;
            seg.aStop = SecondsToMicros(seg.audioClip->stop);
            if (soundDuration > 0)
                seg.aStop = std::min(seg.aStop, soundDuration);
            if (seg.aStop <= seg.aStart) {
                *error = QStringLiteral("音频范围为空: %1 - %2 秒").arg(seg.audioClip->start).arg(seg.audioClip->stop);
                return false;
            }
        }
        if (seg.reader && seg.continued && !seg.reader->canContinueAt(seg.vStart, seg.aStart)) {
            // Not where the last render stopped: a render of its own, as any other.
            seg.continued = false;
            seg.reader = std::make_unique<ClipReader>(&m_stop);
            if (!seg.reader->open(seg.videoClip.file, true, soundHere, error))
                return false;
            seg.source = seg.reader.get();
        }
        d->totalSeconds += double(seg.vStop - seg.vStart) / 1e6;
        d->segments.push_back(std::move(seg));
    }

    if (!d->muxer.create(r.plan, firstOutput, error))
        return false;
    if (!d->video.open(r.plan.video, d->muxer, error))
        return false;
    if (wantSound) {
        d->audio = std::make_unique<AudioEncoder>();
        if (!d->audio->open(r.plan.audio, d->muxer, error))
            return false;
    }
    if (!d->muxer.open(error)) {
        d->muxer.abort();
        return false;
    }
    if (d->pieces())
        d->pieceMuxers.resize(d->segments.size());
    d->prepared = true;
    return true;
}

// The file of piece i (after the first) is created and its header written on the reading
// thread while the encoding thread still finishes the piece before.
void RenderJob::openPieceFile(int i)
{
    Impl::NextFile &n = d->next;
    n = Impl::NextFile();
    QString *error = &n.error;
    n.muxer = std::make_unique<OutputMuxer>();
    if (!n.muxer->create(d->req.plan, d->req.pieceOutputs.at(i), error))
        return;
    n.stream = n.muxer->addStream(d->video.streamModel(), error);
    if (n.stream < 0)
        return;
    if (d->wantSound) {
        n.audio = std::make_unique<AudioEncoder>();
        if (!n.audio->open(d->req.plan.audio, *n.muxer, error))
            return;
    }
    if (!n.muxer->open(error)) {
        n.muxer->abort();
        return;
    }
    n.ready = true;
}

// From here the encoding thread sends the pictures into piece i's file.
void RenderJob::startPiece(int i, EncodeStage &stage, const PieceWrittenFn &pieceWritten)
{
    std::unique_ptr<OutputMuxer> muxer = std::move(d->next.muxer);
    std::unique_ptr<AudioEncoder> audio = std::move(d->next.audio);
    const int stream = d->next.stream;
    d->next = Impl::NextFile();
    OutputMuxer *previous = &d->lastMuxer();
    OutputMuxer *next = muxer.get();
    {
        std::lock_guard<std::mutex> lock(d->pieceMuxersLock);
        d->pieceMuxers[size_t(i)] = std::move(muxer);
    }
    d->lastStarted = i;
    // The sound encoder before the last has drained by now (the stage was idle at the end of
    // the last piece); the last one's flush may still be queued.
    d->previousAudio = std::move(d->audio);
    d->audio = std::move(audio);
    if (d->previousAudio && d->audio) {
        AudioEncoder *from = d->previousAudio.get();
        AudioEncoder *to = d->audio.get();
        // After the last piece's sound was flushed, before this one's comes.
        stage.post([from, to](QString *) {
            to->takeResamplerFrom(*from);
            return true;
        });
    }
    VideoEncoder *video = &d->video;
    const int done = i - 1;
    stage.post([video, next, stream, previous, done, pieceWritten](QString *e) {
        return video->continueInto(*next, stream, [previous, done, pieceWritten](QString *e2) {
            // Named by commitPiece(), when the piece is announced.
            if (!previous->complete(e2))
                return false;
            if (pieceWritten)
                pieceWritten(done);
            return true;
        }, e);
    });
}

bool RenderJob::run(const ProgressFn &progress, QString *error, const PieceWrittenFn &pieceWritten)
{
    if (!d->prepared) {
        *error = QStringLiteral("渲染没有准备好");
        return false;
    }
    EncodeStage stage;
    // The encoding thread must be gone before the files are.
    auto stopNow = [&]() {
        stage.cancel();
        d->abortAll();
        *error = QStringLiteral("已停止");
        return false;
    };
    auto failed = [&]() {
        if (m_stop.load())
            return stopNow();
        // When the encoding side failed, its reason is the one to give.
        QString stageError;
        if (!stage.drain(&stageError) && !stageError.isEmpty())
            *error = stageError;
        stage.cancel();
        d->abortUnfinished();
        return false;
    };
    using Clock = std::chrono::steady_clock;
    auto lastReport = Clock::now() - std::chrono::seconds(1);
    auto lastFileCheck = Clock::now();
    double doneSeconds = 0;
    int64_t totalFrames = 0;
    bool afterLastPicture = true;
    const double rate = double(d->video.rateNum()) / d->video.rateDen();
    VideoEncoder *video = &d->video;
    int64_t soundAfterLastClip = 0;
    // While the encoding side finishes a piece, the reader decodes the start of the range
    // that follows, so that neither waits for the other at the boundary.
    auto drainReadingAhead = [&](ClipReader *reader, QString *e) {
        if (d->followable && reader)
            while (stage.busy() && !m_stop.load() && reader->decodeAhead()) {
            }
        return stage.drain(e);
    };

    for (size_t i = 0; i < d->segments.size(); ++i) {
        Segment &seg = d->segments[i];
        ClipReader *reader = seg.source;
        m_failedPiece = d->pieces() ? int(i) : 0;
        if (d->pieces() && i > 0) {
            if (!d->next.ready) {
                *error = d->next.error;
                // The pieces before this one are complete all the same.
                QString finishError;
                stage.post([video](QString *e) { return video->flush(e); });
                if (stage.drain(&finishError) && d->lastMuxer().complete(&finishError) && pieceWritten)
                    pieceWritten(int(i) - 1);
                return failed();
            }
            startPiece(int(i), stage, pieceWritten);
            lastReport = Clock::now() - std::chrono::seconds(1); // each piece reports from its start
        }
        OutputMuxer &out = d->lastMuxer();
        AudioEncoder *audio = d->audio.get();
        // The stage is idle here (drained after the previous clip): the counts are settled.
        const int64_t slotsBefore = video->slotsWritten();
        // (The silence that ended the last clip may still be queued: its count is known here.)
        const int64_t soundBefore = !audio ? 0 : i > 0 && !d->pieces() ? soundAfterLastClip : audio->samplesQueued();
        const bool keepAspect = seg.videoClip.keepAspect && d->req.plan.applyStretchMode;
        const int rotation = reader->videoRotation();
        const bool interlaced = reader->videoInterlaced();
        const double sourceRate = reader->videoFrameRate();
        const bool sameRate = sourceRate > 0 && std::fabs(sourceRate - rate) / rate < 0.002;
        stage.post([video, keepAspect, rotation, interlaced, sameRate](QString *) {
            video->beginClip(keepAspect, rotation, interlaced, sameRate);
            return true;
        });
        AudioEncoder *sound = (seg.soundFromMainReader || seg.audioReader) ? audio : nullptr;
        const bool endsPiece = d->pieces() && i + 1 < d->segments.size();
        SegmentSink sink(stage, *video, sound, sameRate, slotsBefore, seg.vStart, seg.vStop, seg.aStart, seg.aStop,
                         endsPiece);
        // The sound follows the pictures, which may end a little after the asked stop.
        const int64_t soundReadStop = seg.aStop + SegmentSink::soundReadAheadUs();

        if (seg.continued && (!d->pieces() || i == 0 || reader->canContinueAt(seg.vStart, seg.aStart)))
            reader->continueAt(seg.vStart, seg.vStop, seg.aStart, soundReadStop);
        else if (!reader->start(seg.vStart, seg.vStop, seg.aStart, soundReadStop, error))
            return failed();
        if (d->followable)
            reader->keepFrom(seg.vStop, seg.aStop);
        if (seg.audioReader && !seg.audioReader->start(0, 0, seg.aStart, soundReadStop, error))
            return failed();
        const double pieceSeconds = double(seg.vStop - seg.vStart) / 1e6;
        bool mainRunning = true, soundRunning = seg.audioReader != nullptr;
        while (mainRunning || soundRunning) {
            if (m_stop.load())
                return stopNow();
            // Two files are read side by side, whichever is behind first.
            bool stepSound = soundRunning;
            if (mainRunning && soundRunning)
                stepSound = seg.audioReader->audioPositionUs() - seg.aStart < reader->videoPositionUs() - seg.vStart;
            ClipReader &from = stepSound ? *seg.audioReader : *reader;
            if (!from.step(sink, error)) {
                if (from.failed())
                    return failed();
                (stepSound ? soundRunning : mainRunning) = false;
            }
            const auto now = Clock::now();
            if (progress && now - lastReport >= std::chrono::milliseconds(100)) {
                lastReport = now;
                const double at = double(std::max<int64_t>(0, reader->videoPositionUs() - seg.vStart)) / 1e6;
                if (d->pieces())
                    progress(std::min(at, pieceSeconds), pieceSeconds, int(i));
                else
                    progress(std::min(doneSeconds + at, d->totalSeconds), d->totalSeconds, 0);
            }
            if (now - lastFileCheck >= std::chrono::milliseconds(250)) {
                lastFileCheck = now;
                if (!out.fileStillThere()) {
                    *error = QStringLiteral("输出文件在写入时被删除或移走: %1").arg(out.path());
                    return failed();
                }
            }
        }
        if (!sink.finish(error) || !stage.post([video](QString *e) { return video->endClip(e); }))
            return failed();
        totalFrames += sink.frames();
        afterLastPicture = afterLastPicture && reader->rangeAfterLastPicture();
        if (d->pieces() && sink.frames() == 0) {
            // A piece without a picture ends the pieces; those before it are complete.
            m_afterLastPicture = reader->rangeAfterLastPicture();
            *error = m_afterLastPicture ? QStringLiteral("所选范围在最后一帧画面之后")
                                        : QStringLiteral("所选范围内没有可解码的视频帧");
            if (i > 0) {
                stage.post([video](QString *e) { return video->flush(e); });
                QString flushError;
                if (!stage.drain(&flushError))
                    *error = flushError;
            }
            return failed();
        }
        if (audio && !stage.post([audio](QString *e) { return audio->endClip(e); }))
            return failed();
        // The next piece's file is made while the encoding side finishes this one.
        if (d->pieces() && i + 1 < d->segments.size())
            openPieceFile(int(i) + 1);
        if (!drainReadingAhead(reader, error))
            return failed();
        if (audio) {
            // Sound that ends before the pictures (or a clip without sound) is filled with
            // silence so that the next clip starts in step.
            const int64_t pictureSlots = video->slotsWritten() - slotsBefore;
            const int64_t want = soundBefore + av_rescale(pictureSlots, int64_t(audio->sampleRate()) * video->rateDen(),
                                                          video->rateNum());
            const int64_t queued = audio->samplesQueued();
            const int64_t missing = want - queued;
            if (missing > 0 && !stage.post([audio, missing](QString *e) { return audio->pushSilence(missing, e); }))
                return failed();
            soundAfterLastClip = std::max(want, queued);
            // Each piece's sound ends in its own file.
            if (d->pieces() && !stage.post([audio](QString *e) { return audio->flush(e); }))
                return failed();
        }
        doneSeconds += pieceSeconds;
        // The sources are done with; their files need not stay open, unless the next range
        // may follow on.
        if (d->pieces()) {
            if (i + 1 == d->segments.size())
                d->leftover = std::move(d->segments.front().reader);
        } else {
            if (d->followable)
                d->leftover = std::move(seg.reader);
            seg.reader.reset();
        }
        seg.audioReader.reset();
    }
    if (totalFrames == 0) {
        m_afterLastPicture = afterLastPicture;
        *error = afterLastPicture ? QStringLiteral("所选范围在最后一帧画面之后") : QStringLiteral("所选范围内没有可解码的视频帧");
        return failed();
    }
    stage.post([video](QString *e) { return video->flush(e); });
    AudioEncoder *audio = d->audio.get();
    if (audio && !d->pieces())
        stage.post([audio](QString *e) { return audio->flush(e); });
    if (!drainReadingAhead(d->leftover.get(), error))
        return failed();
    stage.cancel();
    if (m_stop.load())
        return stopNow();
    OutputMuxer &out = d->lastMuxer();
    if (!out.finish(error)) {
        out.abort();
        d->abortUnfinished();
        return false;
    }
    if (progress) {
        const Segment &last = d->segments.back();
        const double total = d->pieces() ? double(last.vStop - last.vStart) / 1e6 : d->totalSeconds;
        progress(total, total, d->pieces() ? int(d->segments.size()) - 1 : 0);
    }
    return true;
}

} // namespace kc
