#pragma once

#include <QList>
#include <QWidget>
#include <QPair>
#include <QString>
#include <memory>

namespace kc {

// The preview player: a widget over libmpv that draws the video through mpv's render API.
// Assigning FileName opens the file paused at its start, with Duration available at once;
// Play continues from where it was paused or put by SetPos. Positions count from 0 at the
// start of the file. Events arrive on the user-interface thread.
//
// Picture and sound go to the desktop, except under the offscreen/minimal platforms or
// with KC_PLAYER_NULL_OUTPUT=1 in the environment: then mpv runs with null outputs (no GL
// context is needed) and everything else behaves the same.
class MpvVideoSurface;

class TMoviePlayer : public QWidget
{
    Q_OBJECT
public:
    // mpv options, applied after the player's own defaults (so they win), e.g.
    // {{"ao","pcm"},{"ao-pcm-file","/tmp/out.wav"}} to capture the sound.
    using MpvOptions = QList<QPair<QString, QString>>;

    explicit TMoviePlayer(QWidget *parent = nullptr);
    explicit TMoviePlayer(const MpvOptions &extraOptions, QWidget *parent = nullptr);
    ~TMoviePlayer() override;

    QString FileName() const;
    // Opens the file paused at its start and waits (a few seconds at most) until it is
    // loaded. A file that cannot be opened leaves Duration at 0; an empty name unloads.
    void setFileName(const QString &fileName);
    double Duration() const;
    void Play();
    void Stop();
    void Pause();
    void SetPos(double seconds);

    // Beyond the component's members: state for diagnostics and tests.
    bool IsLoaded() const;      // the current FileName is open
    bool IsPlaying() const;     // the file is open, Play was called and neither Pause, Stop nor the end came since
    bool UsesNullOutput() const;
    // The player's position in seconds from the start of the file (0 when nothing is open).
    double Position() const;
    // An mpv property as text (empty when unavailable), e.g. "ao", "audio-codec-name".
    QString MpvProperty(const QString &name) const;
    // Why the last mpv call that failed did so (empty when none failed).
    QString LastError() const;

    // True when the environment/platform asks for null outputs.
    static bool NullOutputWanted();

signals:
    void OnPlaying(double iCurrent, const QString &strTime);
    void OnCompleted();

private:
    friend class MpvVideoSurface;
    // The GL surface's calls: made with the surface's context current.
    void initializeGL();
    void paintGL();

    void init(const MpvOptions &extraOptions);
    void drainEvents();
    bool waitForLoad();
    void freeRenderContext(bool keepVideo);
    bool check(int mpvError, const char *what);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kc
