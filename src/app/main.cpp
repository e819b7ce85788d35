#include "common/messageboxsink.h"
#include "singleinstance.h"
#include "startup.h"
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
    const std::unique_ptr<kc::TFrmMain> mainWindowOwner = kc::ShowSplashThenMainWindow();
    kc::TFrmMain &mainWindow = *mainWindowOwner;
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &mainWindow,
                     &kc::TFrmMain::restoreAndActivate);
    if (activationPending)
        mainWindow.restoreAndActivate();
    return app.exec();
}
