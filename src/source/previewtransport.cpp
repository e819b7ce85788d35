#include "previewtransport.h"

#include "common/timeparts.h"
#include "components/movieplayer/tmovieplayer.h"
#include "sourceload.h"
#include "sourcemedia.h"
#include "trackbarseek.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>

namespace kc {

namespace {

const char kTag[] = "tag";

// Play and Pause share one place: the one shown takes over the keyboard focus of the one
// hidden, so that Space on a focused button keeps toggling instead of landing elsewhere.
void ShowInstead(QAbstractButton *shown, QAbstractButton *hidden)
{
    const bool hadFocus = hidden->hasFocus();
    shown->show();
    if (hadFocus)
        shown->setFocus(Qt::OtherFocusReason);
    hidden->hide();
}

} // namespace

PreviewTransport::PreviewTransport(const PreviewControls &controls, TMoviePlayer *player, QObject *parent)
    : QObject(parent), m_c(controls), m_player(player)
{
    if (!m_c.btPrePause->property(kTag).isValid())
        m_c.btPrePause->setProperty(kTag, 0);
    if (!m_c.TrackBar->property(kTag).isValid())
        m_c.TrackBar->setProperty(kTag, 0);

    connect(m_c.btPrePlay, &QAbstractButton::clicked, this, [this] { btPrePlayClick(); });
    connect(m_c.btPrePause, &QAbstractButton::clicked, this, [this] { btPrePauseClick(); });
    connect(m_c.btPreStop, &QAbstractButton::clicked, this, [this] { btPreStopClick(); });
    connect(m_player, &TMoviePlayer::OnPlaying, this, &PreviewTransport::MoviePlayerPlaying);
    connect(m_player, &TMoviePlayer::OnCompleted, this, &PreviewTransport::MoviePlayerCompleted);
    m_c.TrackBar->installEventFilter(this);
    SetAccessibleSeek(m_c.TrackBar, [this](int second) { TrackBarAccessibleSeek(second); });
}

int PreviewTransport::pausedFlag() const
{
    return m_c.btPrePause->property(kTag).toInt();
}

int PreviewTransport::thumbBusyFlag() const
{
    return m_c.TrackBar->property(kTag).toInt();
}

void PreviewTransport::setPausedFlag(int value)
{
    m_c.btPrePause->setProperty(kTag, value);
}

void PreviewTransport::btPrePlayClick()
{
    // Nothing to play before the first source; the buttons stay as they are.
    if (TSourceMedia.FileName.isEmpty())
        return;
    if (pausedFlag() == 1) {
        m_player->Play();
    } else {
        m_player->setFileName(TSourceMedia.FileName);
        m_c.TrackBar->setMaximum(WholeSeconds(m_player->Duration()));
        m_player->Play();
        setPausedFlag(0);
    }
    // A finished playback disabled these; the new one must be pausable and stoppable.
    m_c.btPrePause->setEnabled(true);
    m_c.btPreStop->setEnabled(true);
    ShowInstead(m_c.btPrePause, m_c.btPrePlay);
}

void PreviewTransport::btPrePauseClick()
{
    m_player->Pause();
    setPausedFlag(1);
    ShowInstead(m_c.btPrePlay, m_c.btPrePause);
}

void PreviewTransport::btPreStopClick()
{
    m_player->Stop();
    setPausedFlag(0);
    ShowInstead(m_c.btPrePlay, m_c.btPrePause);
    m_c.TrackBar->setValue(0);
}

void PreviewTransport::ShowNewSource()
{
    btPreStopClick();
    // Opened paused at its start: the preview shows the new file's first picture, and the
    // track bar and the time label speak of it rather than of the previous file.
    m_player->setFileName(TSourceMedia.FileName);
    m_c.TrackBar->setMaximum(WholeSeconds(m_player->Duration()));
    m_c.TrackBar->setValue(0);
    TSourceMedia.CurTime = 0;
    m_c.labCurTime->setText(FormatSeconds(0));
}

void PreviewTransport::MoviePlayerPlaying(double iCurrent, const QString &)
{
    // The thumb is the user's while a mouse button holds it.
    if (thumbBusyFlag() == 0 && !m_mouseHeld) {
        m_c.TrackBar->setProperty(kTag, 1);
        m_c.TrackBar->setValue(WholeSeconds(iCurrent));
        m_c.TrackBar->setProperty(kTag, 0);
    }
    TSourceMedia.CurTime = iCurrent;
    m_c.labCurTime->setText(FormatSeconds(iCurrent));
}

void PreviewTransport::MoviePlayerCompleted()
{
    m_c.btPrePlay->setEnabled(true);
    ShowInstead(m_c.btPrePlay, m_c.btPrePause);
    m_c.btPrePause->setEnabled(false);
    m_c.btPreStop->setEnabled(false);
    m_c.TrackBar->setValue(0);
}

void PreviewTransport::TrackBarMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    m_player->Pause();
}

void PreviewTransport::TrackBarMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    // After a new source was loaded the player may still hold the previous file: seeking in
    // it would report positions of the wrong file into the range entry.
    if (m_player->FileName() != TSourceMedia.FileName)
        return;
    // Where the thumb stands: while it is still being dragged with tracking off, the
    // slider's value has not caught up yet.
    m_player->SetPos(double(m_c.TrackBar->sliderPosition()));
    m_player->Play();
}

void PreviewTransport::TrackBarAccessibleSeek(int second)
{
    // What a drag to that second does: the press pauses, the release seeks and plays.
    TrackBarMouseDown(Qt::NoButton, Qt::NoModifier, 0, 0);
    m_c.TrackBar->setValue(second);
    TrackBarMouseUp(Qt::NoButton, Qt::NoModifier, 0, 0);
}

bool PreviewTransport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_c.TrackBar) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto *me = static_cast<QMouseEvent *>(event);
            m_mouseHeld = true;
            const QPoint at = me->position().toPoint();
            // A click beside the thumb puts the thumb there (the slider then drags it from
            // under the mouse) rather than stepping a page towards the click.
            if (me->button() == Qt::LeftButton && !SliderHandleAt(m_c.TrackBar, at))
                m_c.TrackBar->setSliderPosition(SliderValueAt(m_c.TrackBar, at));
            TrackBarMouseDown(me->button(), me->modifiers(), at.x(), at.y());
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto *me = static_cast<QMouseEvent *>(event);
            m_mouseHeld = me->buttons() != Qt::NoButton;
            const QPoint at = me->position().toPoint();
            TrackBarMouseUp(me->button(), me->modifiers(), at.x(), at.y());
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kc
