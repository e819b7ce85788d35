#include "commandlinefile.h"
#include "common/messageboxsink.h"
#include "components/streamcopy/picturememory.h"
#include "icons.h"
#include "qttranslations.h"
#include "singleinstance.h"
#include "sourcerequests.h"
#include "startup.h"
#include "tfrmmain.h"

#include <QApplication>
#include <QDir>

int main(int argc, char **argv)
{
    kc::KeepPictureMemoryForReuse();
    QApplication app(argc, argv);
    kc::InstallQtChineseTranslations(&app);
    QApplication::setWindowIcon(kc::ProgramIcon());
    const QString commandLineFile = kc::CommandLineFile(QCoreApplication::arguments(), QDir::currentPath());

    // A second start hands its file to the running window, brings that window forward and
    // ends without showing anything.
    kc::SingleInstance instance;
    if (!instance.acquire()) {
        instance.activateRunningInstance(commandLineFile);
        return 0;
    }
    kc::SourceRequests sourceRequests(&instance, commandLineFile);

    // A later start during the splash still brings the window forward once it exists.
    bool activationPending = false;
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &app,
                     [&activationPending] { activationPending = true; });

    kc::InstallMessageBoxSink();
    const std::unique_ptr<kc::TFrmMain> mainWindowOwner = kc::ShowSplashThenMainWindow();
    kc::TFrmMain &mainWindow = *mainWindowOwner;
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &mainWindow,
                     &kc::TFrmMain::restoreAndActivate);
    sourceRequests.deliverTo(&mainWindow);
    if (activationPending)
        mainWindow.restoreAndActivate();
    return app.exec();
}
