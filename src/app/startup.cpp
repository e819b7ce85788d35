#include "startup.h"

#include "tfrmflash.h"
#include "tfrmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

namespace kc {

std::unique_ptr<TFrmMain> ShowSplashThenMainWindow()
{
    std::unique_ptr<TFrmMain> mainWindow;
    TFrmFlash splash;
    QObject::connect(&splash, &TFrmFlash::scriptFinished, &splash, [&mainWindow] {
        QApplication::setApplicationName(QStringLiteral("Kestrelcut"));
        QApplication::setApplicationDisplayName(QString());
        mainWindow = std::make_unique<TFrmMain>();
        mainWindow->show();
        // Until the desktop has put the window on screen and it has painted, the splash stays.
        QElapsedTimer waited;
        waited.start();
        while (mainWindow->windowHandle() && !mainWindow->windowHandle()->isExposed() && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    });
    splash.exec();
    mainWindow->raise();
    mainWindow->activateWindow();
    return mainWindow;
}

} // namespace kc
