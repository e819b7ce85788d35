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

private:
    void FormCreate();
    void Timer1Timer();

    QLabel *Image1 = nullptr;
    QTimer *Timer1 = nullptr;
    int m_exitCode = 0;
};

} // namespace kc
