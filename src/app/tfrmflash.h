#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace kc {

// The borderless splash: about a second after it is shown it runs the start-up script
// beside the program, waits for it, and closes.
class TFrmFlash : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmFlash(QWidget *parent = nullptr);
    int scriptExitCode() const { return m_exitCode; }

    // Escape or a close request would end the splash before the start-up script ran; it
    // closes when the script has ended.
    void reject() override {}

signals:
    // The start-up script has ended and the splash is about to close: what is to follow it
    // on screen is made and shown now, while the splash still covers the gap.
    void scriptFinished();

private:
    void FormCreate();
    void Timer1Timer();

    QLabel *Image1 = nullptr;
    QTimer *Timer1 = nullptr;
    int m_exitCode = 0;
};

} // namespace kc
