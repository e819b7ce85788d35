#pragma once

#include <QOpenGLWidget>
#include <QString>
#include <memory>

namespace kc {

// The preview player: a widget over libmpv that draws the video through mpv's render API.
// Assigning FileName opens the file paused at its start, with Duration available at once;
// Play continues from where it was paused or put by SetPos. Positions count from 0 at the
// start of the file. Events arrive on the user-interface thread.
class TMoviePlayer : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit TMoviePlayer(QWidget *parent = nullptr);
    ~TMoviePlayer() override;

    QString FileName() const;
    void setFileName(const QString &fileName);
    double Duration() const;
    void Play();
    void Stop();
    void Pause();
    void SetPos(double seconds);

signals:
    void OnPlaying(double iCurrent, const QString &strTime);
    void OnCompleted();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kc
