#include "tvideoedit.h"

#include "clipreader.h"
#include "codeccatalog.h"
#include "mediaprobe.h"
#include "outputplan.h"
#include "renderjob.h"
#include "wmvprofile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMetaObject>
#include <QPair>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}

namespace kc {

namespace {

// Damaged sources make the decoders complain on standard error for every broken packet; the
// render passes over them and reports what matters itself. KESTRELCUT_FFMPEG_LOG brings the
// libraries' own messages back when looking into a file.
void QuietLibraryLog()
{
    static const bool done = [] {
        av_log_set_level(std::getenv("KESTRELCUT_FFMPEG_LOG") ? AV_LOG_WARNING : AV_LOG_QUIET);
        return true;
    }();
    (void)done;
}

PropertyPageOpener &Opener()
{
    static PropertyPageOpener opener;
    return opener;
}

class NamesList : public CompressorList
{
public:
    QStringList list;
    QStringList names() const override { return list; }
};

class VideoList : public VideoCompressorList
{
public:
    QList<CodecChoice> choices;
    QList<QList<CodecSetting>> values;

    VideoList() : choices(AviVideoCodecs())
    {
        for (const CodecChoice &c : choices)
            values << c.settings;
    }
    QStringList names() const override
    {
        QStringList n;
        for (const CodecChoice &c : choices)
            n << c.name;
        return n;
    }
    bool ShowPropertyPage(int i) override
    {
        if (i < 0 || i >= choices.size() || choices.at(i).settings.isEmpty() || !Opener())
            return false;
        QList<CodecSetting> edited = values.at(i);
        if (!Opener()(choices.at(i).name, edited))
            return false;
        values[i] = SanitizedSettings(choices.at(i).settings, edited);
        return true;
    }
    QList<CodecSetting> settings(int i) const override
    {
        return (i >= 0 && i < values.size()) ? values.at(i) : QList<CodecSetting>();
    }
    void setSettings(int i, const QList<CodecSetting> &v) override
    {
        if (i >= 0 && i < values.size())
            values[i] = SanitizedSettings(choices.at(i).settings, v);
    }
};

} // namespace

struct TVideoEdit::Private {
    OutputSettings s;
    VideoList video;
    NamesList audio;
    NamesList wmv;
    QList<ClipRange> videoClips;
    QList<ClipRange> audioClips;

    std::unique_ptr<RenderJob> job;
    std::thread worker;
    quint64 jobId = 0;
    bool rendering = false;
    bool lastAfterLastPicture = false;
    bool lastContinued = false;
    int lastFailedPiece = 0;
    int piecesWritten = 0;   // pieces of the running render announced so far
    QPair<double, double> progressAhead{0, 0}; // the latest progress of the piece after them
    QString lastError;

    // The source as the last render left it, open and positioned after its range, with its
    // file's size and time then: a render of the range that follows goes on from there.
    std::unique_ptr<ClipReader> session;
    qint64 sessionSize = -1;
    QDateTime sessionTime;

    // The file is still the one the session read (not replaced or rewritten since).
    bool sessionStillValid() const
    {
        if (!session)
            return false;
        const QFileInfo fi(session->path());
        return fi.exists() && fi.size() == sessionSize && fi.lastModified() == sessionTime;
    }

    // The window asks about the same source several times in a row (duration, size, rate).
    QString probedPath;
    qint64 probedSize = -1;
    QDateTime probedTime;
    MediaFacts probed;

    const MediaFacts &facts(const QString &path)
    {
        const QFileInfo fi(path);
        const qint64 size = fi.exists() ? fi.size() : -1;
        const QDateTime time = fi.exists() ? fi.lastModified() : QDateTime();
        if (path != probedPath || size != probedSize || time != probedTime || !probed.readable) {
            probed = ProbeMedia(path);
            probedPath = path;
            probedSize = size;
            probedTime = time;
        }
        return probed;
    }

    void joinWorker()
    {
        if (worker.joinable())
            worker.join();
    }
};

TVideoEdit::TVideoEdit(QObject *parent) : QObject(parent), d(new Private)
{
    QuietLibraryLog();
    for (const CodecChoice &c : AviAudioCodecs())
        d->audio.list << c.name;
    for (const WmvProfile &p : BuiltInWmvProfiles())
        d->wmv.list << p.name;
}

TVideoEdit::~TVideoEdit()
{
    // The window may close while a piece renders: the worker stops and its file goes.
    Stop();
}

double TVideoEdit::GetFileDuration(const QString &strFileName) const
{
    const MediaFacts &f = d->facts(strFileName);
    return f.readable && f.hasVideo ? f.duration : 0;
}

bool TVideoEdit::IsSoundOnly(const QString &strFileName) const
{
    const MediaFacts &f = d->facts(strFileName);
    return f.readable && !f.hasVideo;
}

int16_t TVideoEdit::GetFileWidth(const QString &strFileName) const
{
    return int16_t(std::clamp(d->facts(strFileName).width, 0, 32767));
}

int16_t TVideoEdit::GetFileHeight(const QString &strFileName) const
{
    return int16_t(std::clamp(d->facts(strFileName).height, 0, 32767));
}

double TVideoEdit::GetFileFrameRate(const QString &strFileName) const
{
    return d->facts(strFileName).frameRate;
}

VideoCompressorList &TVideoEdit::VideoCompressors() { return d->video; }
const CompressorList &TVideoEdit::AudioCompressors() const { return d->audio; }
const CompressorList &TVideoEdit::WMVProfiles() const { return d->wmv; }

void TVideoEdit::SetPropertyPageOpener(PropertyPageOpener opener)
{
    Opener() = std::move(opener);
}

int TVideoEdit::OutputType() const { return d->s.outputType; }
void TVideoEdit::setOutputType(int v) { d->s.outputType = v; }
int TVideoEdit::OutputFileWidth() const { return d->s.width; }
void TVideoEdit::setOutputFileWidth(int v) { d->s.width = v; }
int TVideoEdit::OutputFileHeight() const { return d->s.height; }
void TVideoEdit::setOutputFileHeight(int v) { d->s.height = v; }
float TVideoEdit::FrameRate() const { return d->s.frameRate; }
void TVideoEdit::setFrameRate(float v) { d->s.frameRate = v; }
bool TVideoEdit::UseVideoCompressor() const { return d->s.useVideoCompressor; }
void TVideoEdit::setUseVideoCompressor(bool v) { d->s.useVideoCompressor = v; }
bool TVideoEdit::UseAudioCompressor() const { return d->s.useAudioCompressor; }
void TVideoEdit::setUseAudioCompressor(bool v) { d->s.useAudioCompressor = v; }
int TVideoEdit::VideoCompressor() const { return d->s.videoCompressor; }
void TVideoEdit::setVideoCompressor(int v) { d->s.videoCompressor = v; }
int TVideoEdit::AudioCompressor() const { return d->s.audioCompressor; }
void TVideoEdit::setAudioCompressor(int v) { d->s.audioCompressor = v; }
int TVideoEdit::AVIMP3Bitrate() const { return d->s.aviMp3Bitrate; }
void TVideoEdit::setAVIMP3Bitrate(int v) { d->s.aviMp3Bitrate = v; }
bool TVideoEdit::MPEGAC3() const { return d->s.mpegAc3; }
void TVideoEdit::setMPEGAC3(bool v) { d->s.mpegAc3 = v; }
int TVideoEdit::MPEGAudioSampleRate() const { return d->s.mpegAudioSampleRate; }
void TVideoEdit::setMPEGAudioSampleRate(int v) { d->s.mpegAudioSampleRate = v; }
int TVideoEdit::MPEGAudioBitrate() const { return d->s.mpegAudioBitrate; }
void TVideoEdit::setMPEGAudioBitrate(int v) { d->s.mpegAudioBitrate = v; }
int TVideoEdit::MPEGVideoBitrate() const { return d->s.mpegVideoBitrate; }
void TVideoEdit::setMPEGVideoBitrate(int v) { d->s.mpegVideoBitrate = v; }
int TVideoEdit::MPEGAudioChannels() const { return d->s.mpegAudioChannels; }
void TVideoEdit::setMPEGAudioChannels(int v) { d->s.mpegAudioChannels = v; }
int TVideoEdit::WMVProfile() const { return d->s.wmvProfile; }
void TVideoEdit::setWMVProfile(int v)
{
    // Whichever of the two WMV choices was written last is the one used.
    d->s.wmvProfile = v;
    d->s.wmvUseCustom = false;
}
QString TVideoEdit::WMVCustomFileName() const { return d->s.wmvCustomFileName; }
void TVideoEdit::setWMVCustomFileName(const QString &v)
{
    d->s.wmvCustomFileName = v;
    d->s.wmvUseCustom = !v.isEmpty();
}
int TVideoEdit::VideoSampleSize() const { return d->s.videoSampleSize; }
void TVideoEdit::setVideoSampleSize(int v) { d->s.videoSampleSize = v; }

void TVideoEdit::InitControl()
{
    d->videoClips.clear();
    d->audioClips.clear();
}

bool TVideoEdit::AddVideo(const QString &strFile, double iVideoStart, double iVideoStop, int16_t iStretchMode)
{
    if (strFile.isEmpty())
        return false;
    d->videoClips << ClipRange{strFile, iVideoStart, iVideoStop, iStretchMode == 2};
    return true;
}

bool TVideoEdit::AddAudio(const QString &strFile, double iAudioStart, double iAudioStop)
{
    if (strFile.isEmpty())
        return false;
    d->audioClips << ClipRange{strFile, iAudioStart, iAudioStop, false};
    return true;
}

bool TVideoEdit::Save(const QString &strFileName)
{
    RenderRequest req;
    req.outputPath = strFileName;
    return startRender(std::move(req));
}

bool TVideoEdit::SavePieces(const QStringList &fileNames)
{
    if (fileNames.isEmpty()) {
        d->lastError = QStringLiteral("没有指定输出文件");
        return false;
    }
    RenderRequest req;
    req.pieceOutputs = fileNames;
    return startRender(std::move(req));
}

int TVideoEdit::LastFailedPiece() const
{
    return d->lastFailedPiece;
}

bool TVideoEdit::startRender(RenderRequest req)
{
    auto refuse = [&](const QString &why) {
        d->lastError = why;
        return false;
    };
    d->lastFailedPiece = 0;
    if (d->rendering)
        return refuse(QStringLiteral("上一个文件还在输出"));
    if (d->videoClips.isEmpty())
        return refuse(QStringLiteral("没有要输出的视频片段"));
    const MediaFacts facts = d->facts(d->videoClips.first().file);
    if (!facts.readable)
        return refuse(facts.error);
    if (!facts.hasVideo)
        return refuse(QStringLiteral("无法识别的视频文件!"));

    QList<AviVideoChoice> videoCodecs;
    for (int i = 0; i < d->video.choices.size(); ++i)
        videoCodecs << AviVideoChoice{d->video.choices.at(i).encoder.toLatin1(), d->video.values.at(i)};
    QList<QByteArray> audioEncoders;
    for (const CodecChoice &c : AviAudioCodecs())
        audioEncoders << c.encoder.toLatin1();

    QString error;
    if (!PlanOutput(d->s, videoCodecs, audioEncoders, facts, &req.plan, &error))
        return refuse(error);
    req.video = d->videoClips;
    req.audio = d->audioClips;
    auto job = std::make_unique<RenderJob>(req);
    if (d->sessionStillValid())
        job->offerReader(std::move(d->session));
    d->session.reset();
    if (!job->prepare(&error))
        return refuse(error);

    d->lastContinued = job->continuesReader();
    const quint64 id = ++d->jobId;
    d->job = std::move(job);
    d->rendering = true;
    d->piecesWritten = 0;
    d->progressAhead = {0, 0};
    d->lastAfterLastPicture = false;
    d->lastError.clear();
    RenderJob *j = d->job.get();
    d->worker = std::thread([this, j, id] {
        QString why;
        const bool ok = j->run(
            [this, id](double at, double total, int piece) {
                QMetaObject::invokeMethod(
                    this, [this, id, at, total, piece] { deliverProgress(id, at, total, piece); }, Qt::QueuedConnection);
            },
            &why,
            [this, id](int piece) {
                QMetaObject::invokeMethod(
                    this, [this, id, piece] { deliverPieceComplete(id, piece); }, Qt::QueuedConnection);
            });
        const bool afterLastPicture = !ok && j->failedAfterLastPicture();
        // Posted only after run() has closed (or removed) the file.
        QMetaObject::invokeMethod(
            this, [this, id, ok, why, afterLastPicture] { deliverCompletion(id, ok, why, afterLastPicture); },
            Qt::QueuedConnection);
    });
    return true;
}

void TVideoEdit::deliverProgress(quint64 id, double at, double total, int piece)
{
    // The reading runs a little ahead of the encoding: a piece's progress waits until the
    // pieces before it have been announced.
    if (id != d->jobId || !d->rendering || total <= 0)
        return;
    if (piece == d->piecesWritten)
        emit OnProcessing(at, total);
    else if (piece == d->piecesWritten + 1)
        d->progressAhead = {at, total};
}

void TVideoEdit::deliverPieceComplete(quint64 id, int index)
{
    if (id != d->jobId || !d->rendering)
        return;
    // The piece's file takes its name as it is announced: a stop before this removes it.
    QString why;
    if (!d->job->commitPiece(index, &why)) {
        Stop();
        d->lastError = why;
        d->lastFailedPiece = index;
        emit OnComplete(false, why);
        return;
    }
    d->piecesWritten = index + 1;
    d->lastContinued = true; // the next piece goes on reading where this one stopped
    const QPair<double, double> ahead = std::exchange(d->progressAhead, {0, 0});
    emit OnPieceComplete(index);
    if (id == d->jobId && d->rendering && ahead.second > 0)
        emit OnProcessing(ahead.first, ahead.second);
}

void TVideoEdit::deliverCompletion(quint64 id, bool succeeded, const QString &reason, bool afterLastPicture)
{
    if (id != d->jobId || !d->rendering)
        return; // a render that was stopped: no completion
    d->joinWorker();
    if (succeeded) {
        d->session = d->job->takeReader();
        if (d->session) {
            const QFileInfo fi(d->session->path());
            d->sessionSize = fi.size();
            d->sessionTime = fi.lastModified();
        }
    }
    if (!succeeded)
        d->lastFailedPiece = d->job->failedPiece();
    d->job.reset();
    d->rendering = false;
    d->lastAfterLastPicture = afterLastPicture;
    if (!succeeded)
        d->lastError = reason;
    emit OnComplete(succeeded, succeeded ? QString() : reason);
}

void TVideoEdit::Stop()
{
    if (!d->rendering)
        return;
    d->lastFailedPiece = d->piecesWritten; // the piece under way
    d->job->requestStop();
    d->joinWorker();
    d->job.reset(); // removes whatever the worker had not removed yet
    d->rendering = false;
    ++d->jobId; // events of the stopped render still queued are dropped
}

void TVideoEdit::ReleaseSource()
{
    d->session.reset();
}

bool TVideoEdit::ContinuedLastRender() const
{
    return d->lastContinued;
}

bool TVideoEdit::IsRendering() const
{
    return d->rendering;
}

QString TVideoEdit::LastError() const
{
    return d->lastError;
}

bool TVideoEdit::LastRenderWasAfterLastPicture() const
{
    return d->lastAfterLastPicture;
}

} // namespace kc
