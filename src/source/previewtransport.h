#pragma once

#include <QObject>
#include <QString>

class QAbstractButton;
class QLabel;
class QSlider;

namespace kc {

class TMoviePlayer;

// The transport row under the preview and the current-time label.
struct PreviewControls {
    QAbstractButton *btPrePlay = nullptr;
    QAbstractButton *btPrePause = nullptr;  // same place as Play, one of them shown
    QAbstractButton *btPreStop = nullptr;
    QSlider *TrackBar = nullptr;            // one unit is one second
    QLabel *labCurTime = nullptr;
};

// Drives the preview player from the transport row and shows where it plays.
// The paused flag lives in btPrePause's "tag" property, the thumb-busy flag in TrackBar's.
// Connects the buttons' clicks, the player's events and the track bar's mouse buttons
// itself; keyboard and wheel moves of the track bar do not seek. A left click beside the
// thumb jumps there; a value set by assistive technology seeks like a drag.
class PreviewTransport : public QObject
{
    Q_OBJECT
public:
    PreviewTransport(const PreviewControls &controls, TMoviePlayer *player, QObject *parent = nullptr);

    const PreviewControls &controls() const { return m_c; }
    TMoviePlayer *player() const { return m_player; }

    void btPrePlayClick();
    void btPrePauseClick();
    // Also run before a split starts.
    void btPreStopClick();
    // A source was loaded: Stop, then the player opens it at its start, the track bar spans
    // it from 0 and the current time (label and TSourceMedia.CurTime) reads 0.
    void ShowNewSource();
    void MoviePlayerPlaying(double iCurrent, const QString &strTime);
    void MoviePlayerCompleted();
    void TrackBarMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void TrackBarMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // Assistive technology set the track bar's value: seek there as a drag does.
    void TrackBarAccessibleSeek(int second);

    int pausedFlag() const;
    int thumbBusyFlag() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setPausedFlag(int value);

    PreviewControls m_c;
    TMoviePlayer *m_player;
    bool m_mouseHeld = false; // a mouse button is down on the track bar
};

} // namespace kc
