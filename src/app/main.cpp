#include "common/messageboxsink.h"
#include "singleinstance.h"
#include "tfrmflash.h"
#include "tfrmmain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    // A second start brings the running window forward and ends without showing anything.
    kc::SingleInstance instance;
    if (!instance.acquire()) {
        instance.activateRunningInstance();
        return 0;
    }

    // A later start during the splash still brings the window forward once it exists.
    bool activationPending = false;
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &app,
                     [&activationPending] { activationPending = true; });

    kc::InstallMessageBoxSink();
    {
        kc::TFrmFlash splash;
        splash.exec();
    }
    QApplication::setApplicationName(QStringLiteral("Kestrelcut"));
    QApplication::setApplicationDisplayName(QString());

    kc::TFrmMain mainWindow;
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &mainWindow,
                     &kc::TFrmMain::restoreAndActivate);
    mainWindow.show();
    if (activationPending)
        mainWindow.restoreAndActivate();
    return app.exec();
}
