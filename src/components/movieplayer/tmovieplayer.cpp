#include "tmovieplayer.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QVBoxLayout>
#include <QtGlobal>

#include <atomic>
#include <clocale>
#include <cmath>
#include <functional>

namespace kc {

namespace {

// Loading is normally a matter of milliseconds; the limit only keeps a stuck source
// (a dead network mount) from freezing the window for good.
constexpr qint64 kLoadWaitMs = 10000;

void *getProcAddress(void *, const char *name)
{
    QOpenGLContext *ctx = QOpenGLContext::currentContext();
    return ctx ? reinterpret_cast<void *>(ctx->getProcAddress(QByteArray(name))) : nullptr;
}

QString positionText(double seconds)
{
    const qint64 ms = (seconds > 0 && std::isfinite(seconds)) ? qint64(seconds * 1000.0) : 0;
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                             ms / 1000 % 60, ms % 1000);
}

QByteArray secondsArg(double seconds)
{
    return QByteArray::number(seconds, 'f', 3);
}

} // namespace

// The picture: a GL surface filling the player, made only where the platform draws with
// OpenGL (never on the offscreen platform, where a GL widget cannot get a context).
class MpvVideoSurface : public QOpenGLWidget
{
public:
    explicit MpvVideoSurface(TMoviePlayer *player)
        : QOpenGLWidget(player)
        , m_player(player)
    {
    }

protected:
    void initializeGL() override { m_player->initializeGL(); }
    void paintGL() override { m_player->paintGL(); }

private:
    TMoviePlayer *m_player;
};

struct TMoviePlayer::Private {
    mpv_handle *mpv = nullptr;
    MpvVideoSurface *surface = nullptr;
    mpv_render_context *render = nullptr;
    bool nullOutput = false;
    bool fixedOutput = false; // the caller chose the video output

    QString fileName;
    double duration = 0;
    int64_t entryId = -1;    // playlist entry of the file being shown
    bool loaded = false;
    bool playing = false;
    bool atEnd = false;
    bool completedRaised = false;
    double lastPos = 0;
    QString lastError;
    // Position events queued before a seek still carry the old position: they are not
    // reported until mpv says the seek is done (or, should that never come, a moment later).
    bool seekPending = false;
    bool seekStarted = false;
    QElapsedTimer seekClock;

    void beginSeek()
    {
        seekPending = true;
        seekStarted = false;
        seekClock.start();
        atEnd = false;
        completedRaised = false;
    }
    bool seekSettled()
    {
        if (seekPending && seekClock.elapsed() > 2000)
            seekPending = false;
        return !seekPending;
    }

    // Called on mpv's threads: they may only post to the user-interface thread.
    std::function<void()> wakeup;
    std::function<void()> renderUpdate;
    std::atomic<bool> drainPosted{false};
    QMetaObject::Connection contextGone;
};

namespace {

void onMpvWakeup(void *ctx)
{
    static_cast<std::function<void()> *>(ctx)->operator()();
}

} // namespace

TMoviePlayer::TMoviePlayer(QWidget *parent)
    : QWidget(parent), d(new Private)
{
    init({});
}

TMoviePlayer::TMoviePlayer(const MpvOptions &extraOptions, QWidget *parent)
    : QWidget(parent), d(new Private)
{
    init(extraOptions);
}

TMoviePlayer::~TMoviePlayer()
{
    // The surface destroys its context after this body, when d is gone already.
    disconnect(d->contextGone);
    if (d->mpv)
        mpv_set_wakeup_callback(d->mpv, nullptr, nullptr);
    freeRenderContext(false);
    if (d->mpv)
        mpv_terminate_destroy(d->mpv);
}

bool TMoviePlayer::NullOutputWanted()
{
    const QByteArray env = qgetenv("KC_PLAYER_NULL_OUTPUT");
    if (!env.isEmpty())
        return env != "0";
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void TMoviePlayer::init(const MpvOptions &extraOptions)
{
    setAccessibleName(QStringLiteral("视频预览"));

    // mpv refuses to start unless numbers are parsed the C way; Qt's application object
    // has set the user's locale by now.
    std::setlocale(LC_NUMERIC, "C");

    d->nullOutput = NullOutputWanted();
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    if (!d->nullOutput) {
        d->surface = new MpvVideoSurface(this);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(d->surface);
    }
    d->mpv = mpv_create();
    if (!d->mpv) {
        d->lastError = QStringLiteral("mpv_create failed");
        qWarning("TMoviePlayer: %s", qPrintable(d->lastError));
        return;
    }

    MpvOptions options{
        // The picture goes to "libmpv" once the widget has a GL context to draw it in;
        // until then (and for good with null outputs) video is decoded and dropped. A file
        // opened under "libmpv" without a renderer would fail as a whole, and any other
        // output would open a window of its own.
        {QStringLiteral("vo"), QStringLiteral("null")},
        {QStringLiteral("keep-open"), QStringLiteral("yes")},
        {QStringLiteral("pause"), QStringLiteral("yes")},
        {QStringLiteral("idle"), QStringLiteral("yes")},
        {QStringLiteral("rebase-start-time"), QStringLiteral("yes")},
        // Software decoding is plenty for a preview; with it no hardware interop is
        // probed (which only prints warnings about missing driver libraries).
        {QStringLiteral("hwdec"), QStringLiteral("no")},
        {QStringLiteral("gpu-hwdec-interop"), QStringLiteral("no")},
        {QStringLiteral("load-scripts"), QStringLiteral("no")},
        {QStringLiteral("resume-playback"), QStringLiteral("no")},
        {QStringLiteral("audio-display"), QStringLiteral("no")},
        // Frames are drawn on the user-interface thread: hand them over when due instead
        // of blocking the thread until their display time.
        {QStringLiteral("video-timing-offset"), QStringLiteral("0")},
        {QStringLiteral("audio-client-name"), QStringLiteral("Kestrelcut")},
        // Camcorders, DV and broadcasts weave two moments into each picture, which shows as
        // combs on motion. Only pictures marked interlaced are deinterlaced, one picture
        // for each (positions and stepping stay the source's); progressive ones pass as they are.
        {QStringLiteral("vf"), QStringLiteral("bwdif=mode=send_frame:deint=interlaced")},
    };
    if (d->nullOutput)
        options.append({QStringLiteral("ao"), QStringLiteral("null")});
    options.append(extraOptions);
    for (const auto &option : extraOptions)
        d->fixedOutput = d->fixedOutput || option.first == QLatin1String("vo");
    for (const auto &option : options) {
        const QByteArray name = option.first.toUtf8();
        const QByteArray value = option.second.toUtf8();
        check(mpv_set_option_string(d->mpv, name.constData(), value.constData()), name.constData());
    }

    if (!check(mpv_initialize(d->mpv), "mpv_initialize")) {
        mpv_terminate_destroy(d->mpv);
        d->mpv = nullptr;
        return;
    }
    check(mpv_request_log_messages(d->mpv, "error"), "log messages");
    check(mpv_observe_property(d->mpv, 0, "time-pos", MPV_FORMAT_DOUBLE), "observe time-pos");
    check(mpv_observe_property(d->mpv, 0, "eof-reached", MPV_FORMAT_FLAG), "observe eof-reached");

    d->wakeup = [this] {
        if (!d->drainPosted.exchange(true))
            QMetaObject::invokeMethod(this, [this] { drainEvents(); }, Qt::QueuedConnection);
    };
    d->renderUpdate = [this] {
        QMetaObject::invokeMethod(this, [this] {
            if (d->surface)
                d->surface->update();
        }, Qt::QueuedConnection);
    };
    mpv_set_wakeup_callback(d->mpv, onMpvWakeup, &d->wakeup);
}

bool TMoviePlayer::check(int mpvError, const char *what)
{
    if (mpvError >= 0)
        return true;
    d->lastError = QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromUtf8(mpv_error_string(mpvError)));
    qWarning("TMoviePlayer: %s", qPrintable(d->lastError));
    return false;
}

// --- the component's members -------------------------------------------------------

QString TMoviePlayer::FileName() const
{
    return d->fileName;
}

void TMoviePlayer::setFileName(const QString &fileName)
{
    d->fileName = fileName;
    d->duration = 0;
    d->loaded = false;
    d->playing = false;
    d->atEnd = false;
    d->completedRaised = false;
    d->lastPos = 0;
    d->entryId = -1;
    d->seekPending = false;
    if (!d->mpv)
        return;
    check(mpv_set_property_string(d->mpv, "pause", "yes"), "pause");
    if (fileName.isEmpty()) {
        const char *cmd[] = {"stop", nullptr};
        check(mpv_command(d->mpv, cmd), "stop");
        return;
    }
    // An absolute path can never be taken for a protocol ("name://...") or an option.
    const QByteArray path = QFileInfo(fileName).absoluteFilePath().toUtf8();
    const char *cmd[] = {"loadfile", path.constData(), "replace", nullptr};
    if (!check(mpv_command(d->mpv, cmd), "loadfile"))
        return;
    if (waitForLoad()) {
        double duration = 0;
        if (check(mpv_get_property(d->mpv, "duration", MPV_FORMAT_DOUBLE, &duration), "duration")
            && std::isfinite(duration) && duration > 0)
            d->duration = duration;
    }
}

bool TMoviePlayer::waitForLoad()
{
    // Events are taken here directly, so nothing of the old file's ending or the new
    // file's start is reported as playback.
    QElapsedTimer clock;
    clock.start();
    bool started = false;
    for (;;) {
        const qint64 left = kLoadWaitMs - clock.elapsed();
        if (left <= 0) {
            d->lastError = QStringLiteral("loading %1 takes too long").arg(d->fileName);
            qWarning("TMoviePlayer: %s", qPrintable(d->lastError));
            return false;
        }
        mpv_event *event = mpv_wait_event(d->mpv, double(left) / 1000.0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            break;
        case MPV_EVENT_START_FILE:
            d->entryId = static_cast<mpv_event_start_file *>(event->data)->playlist_entry_id;
            started = true;
            break;
        case MPV_EVENT_FILE_LOADED:
            if (started) {
                d->loaded = true;
                return true;
            }
            break;
        case MPV_EVENT_END_FILE: {
            const auto *end = static_cast<mpv_event_end_file *>(event->data);
            if (started && end->playlist_entry_id == d->entryId) {
                if (end->reason == MPV_END_FILE_REASON_ERROR)
                    d->lastError = QStringLiteral("cannot open %1: %2")
                                       .arg(d->fileName, QString::fromUtf8(mpv_error_string(end->error)));
                return false;
            }
            break;
        }
        case MPV_EVENT_SHUTDOWN:
            return false;
        case MPV_EVENT_LOG_MESSAGE: {
            const auto *msg = static_cast<mpv_event_log_message *>(event->data);
            d->lastError = QString::fromUtf8(msg->prefix) + QStringLiteral(": ")
                           + QString::fromUtf8(msg->text).trimmed();
            break;
        }
        case MPV_EVENT_PROPERTY_CHANGE: {
            const auto *prop = static_cast<mpv_event_property *>(event->data);
            if (qstrcmp(prop->name, "eof-reached") == 0 && prop->format == MPV_FORMAT_FLAG)
                d->atEnd = false; // the new file starts at its beginning
            break;
        }
        default:
            break;
        }
    }
}

double TMoviePlayer::Duration() const
{
    return d->duration;
}

void TMoviePlayer::Play()
{
    if (!d->mpv || d->fileName.isEmpty())
        return;
    if (d->loaded && d->atEnd) {
        // Play at the end starts the file over, as the Play button of any player does.
        const QByteArray zero = secondsArg(0);
        const char *cmd[] = {"seek", zero.constData(), "absolute+exact", nullptr};
        if (check(mpv_command(d->mpv, cmd), "seek"))
            d->beginSeek();
    }
    d->completedRaised = false;
    if (check(mpv_set_property_string(d->mpv, "pause", "no"), "play"))
        d->playing = true;
}

void TMoviePlayer::Pause()
{
    d->playing = false;
    if (d->mpv)
        check(mpv_set_property_string(d->mpv, "pause", "yes"), "pause");
}

void TMoviePlayer::Stop()
{
    // The file stays open at its start, so a seek from the track bar can still play it.
    d->playing = false;
    if (!d->mpv)
        return;
    check(mpv_set_property_string(d->mpv, "pause", "yes"), "pause");
    if (d->loaded) {
        const QByteArray zero = secondsArg(0);
        const char *cmd[] = {"seek", zero.constData(), "absolute+exact", nullptr};
        if (check(mpv_command(d->mpv, cmd), "seek"))
            d->beginSeek();
    }
    d->atEnd = false;
    d->completedRaised = false;
    d->lastPos = 0;
}

void TMoviePlayer::SetPos(double seconds)
{
    if (!d->mpv || !d->loaded)
        return;
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    if (d->duration > 0 && seconds > d->duration)
        seconds = d->duration;
    const QByteArray pos = secondsArg(seconds);
    const char *cmd[] = {"seek", pos.constData(), "absolute+exact", nullptr};
    if (check(mpv_command(d->mpv, cmd), "seek")) {
        d->beginSeek();
        d->lastPos = seconds;
    }
}

// --- state ---------------------------------------------------------------------------

bool TMoviePlayer::IsLoaded() const
{
    return d->loaded;
}

bool TMoviePlayer::IsPlaying() const
{
    return d->playing && d->loaded;
}

bool TMoviePlayer::UsesNullOutput() const
{
    return d->nullOutput;
}

double TMoviePlayer::Position() const
{
    if (!d->mpv || !d->loaded)
        return 0;
    double pos = 0;
    if (mpv_get_property(d->mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos) >= 0 && std::isfinite(pos))
        return pos;
    return d->lastPos;
}

QString TMoviePlayer::MpvProperty(const QString &name) const
{
    if (!d->mpv)
        return QString();
    char *value = mpv_get_property_string(d->mpv, name.toUtf8().constData());
    if (!value)
        return QString();
    const QString text = QString::fromUtf8(value);
    mpv_free(value);
    return text;
}

QString TMoviePlayer::LastError() const
{
    return d->lastError;
}

// --- events --------------------------------------------------------------------------

void TMoviePlayer::drainEvents()
{
    d->drainPosted = false;
    while (d->mpv) {
        mpv_event *event = mpv_wait_event(d->mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        // Everything is taken out of the event before a signal is raised: a handler may
        // call into the player, which invalidates the event.
        bool reportPosition = false;
        bool reportCompleted = false;
        double position = 0;
        switch (event->event_id) {
        case MPV_EVENT_PROPERTY_CHANGE: {
            const auto *prop = static_cast<mpv_event_property *>(event->data);
            if (qstrcmp(prop->name, "time-pos") == 0 && prop->format == MPV_FORMAT_DOUBLE) {
                position = *static_cast<double *>(prop->data);
                if (!std::isfinite(position) || position < 0)
                    position = 0;
                if (d->seekSettled()) {
                    d->lastPos = position;
                    reportPosition = d->playing;
                }
            } else if (qstrcmp(prop->name, "eof-reached") == 0 && prop->format == MPV_FORMAT_FLAG) {
                const bool atEnd = *static_cast<int *>(prop->data) != 0;
                if (atEnd && !d->seekSettled())
                    break; // the end the seek has just left
                d->atEnd = atEnd;
                if (d->atEnd && d->loaded && !d->completedRaised) {
                    d->completedRaised = true;
                    d->playing = false;
                    reportCompleted = true;
                }
            }
            break;
        }
        case MPV_EVENT_SEEK:
            d->seekStarted = d->seekPending;
            break;
        case MPV_EVENT_PLAYBACK_RESTART:
            if (d->seekStarted)
                d->seekPending = d->seekStarted = false;
            break;
        case MPV_EVENT_START_FILE:
            d->entryId = static_cast<mpv_event_start_file *>(event->data)->playlist_entry_id;
            break;
        case MPV_EVENT_FILE_LOADED:
            // A load that outlasted setFileName's wait.
            if (!d->loaded && !d->fileName.isEmpty()) {
                d->loaded = true;
                double duration = 0;
                if (mpv_get_property(d->mpv, "duration", MPV_FORMAT_DOUBLE, &duration) >= 0
                    && std::isfinite(duration) && duration > 0)
                    d->duration = duration;
            }
            break;
        case MPV_EVENT_END_FILE: {
            const auto *end = static_cast<mpv_event_end_file *>(event->data);
            if (end->playlist_entry_id != d->entryId)
                break;
            if (end->reason == MPV_END_FILE_REASON_EOF && d->loaded && !d->completedRaised) {
                d->completedRaised = true;
                reportCompleted = true;
            } else if (end->reason == MPV_END_FILE_REASON_ERROR) {
                d->lastError = QStringLiteral("playing %1 failed: %2")
                                   .arg(d->fileName, QString::fromUtf8(mpv_error_string(end->error)));
            }
            d->loaded = false;
            d->playing = false;
            d->seekPending = false;
            break;
        }
        case MPV_EVENT_LOG_MESSAGE: {
            const auto *msg = static_cast<mpv_event_log_message *>(event->data);
            d->lastError = QString::fromUtf8(msg->prefix) + QStringLiteral(": ")
                           + QString::fromUtf8(msg->text).trimmed();
            break;
        }
        default:
            break;
        }
        if (reportPosition)
            emit OnPlaying(position, positionText(position));
        if (reportCompleted)
            emit OnCompleted();
    }
}

// --- drawing -------------------------------------------------------------------------

void TMoviePlayer::initializeGL()
{
    if (d->nullOutput || d->fixedOutput || !d->mpv || d->render)
        return;
    mpv_opengl_init_params glInit{getProcAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context *render = nullptr;
    if (!check(mpv_render_context_create(&render, d->mpv, params), "render context"))
        return;
    d->render = render;
    mpv_render_context_set_update_callback(d->render, onMpvWakeup, &d->renderUpdate);
    // Moving the widget to another window replaces its GL context.
    disconnect(d->contextGone);
    d->contextGone = connect(d->surface->context(), &QOpenGLContext::aboutToBeDestroyed, this,
                             [this] { freeRenderContext(true); }, Qt::DirectConnection);
    // A file open already moves its picture over to the renderer.
    check(mpv_set_property_string(d->mpv, "vo", "libmpv"), "vo");
}

void TMoviePlayer::paintGL()
{
    QOpenGLFunctions *gl = d->surface->context()->functions();
    gl->glClearColor(0.f, 0.f, 0.f, 1.f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (!d->render)
        return;
    const qreal ratio = d->surface->devicePixelRatioF();
    mpv_opengl_fbo fbo{int(d->surface->defaultFramebufferObject()), int(d->surface->width() * ratio),
                       int(d->surface->height() * ratio), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    check(mpv_render_context_render(d->render, params), "render");
}

void TMoviePlayer::freeRenderContext(bool keepVideo)
{
    if (!d->render)
        return;
    // Freeing the renderer under a running "libmpv" output would end the video of the
    // open file; the null output keeps it going until a new context takes over.
    if (keepVideo && d->mpv)
        check(mpv_set_property_string(d->mpv, "vo", "null"), "vo");
    mpv_render_context_set_update_callback(d->render, nullptr, nullptr);
    d->surface->makeCurrent();
    mpv_render_context_free(d->render);
    d->render = nullptr;
    d->surface->doneCurrent();
}

} // namespace kc
