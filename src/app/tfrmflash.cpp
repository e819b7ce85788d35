#include "tfrmflash.h"

#include "common/programfolder.h"
#include "icons.h"
#include "runandwait.h"

#include <QCoreApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

namespace kc {

TFrmFlash::TFrmFlash(QWidget *parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TFrmFlash"));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(SplashPicture());
    Image1->setGeometry(0, 0, 380, 242);
    setFixedSize(380, 242);
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TFrmFlash::Timer1Timer);
    FormCreate();
    Timer1->start();
}

void TFrmFlash::FormCreate()
{
    SetProgramFolder(QCoreApplication::applicationDirPath());
}

void TFrmFlash::Timer1Timer()
{
    Timer1->stop();
    m_exitCode = RunStartupScript(ProgramFolder());
    emit scriptFinished();
    accept();
}

} // namespace kc
