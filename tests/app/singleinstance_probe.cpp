// Runs the single-instance guard in a process of its own: the first instance prints "first"
// and waits to be activated (printing "open <path>" for each file handed over); a later one,
// given an optional file, asks the first to open it and come forward, and prints "second".
#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    kc::SingleInstance instance(QStringLiteral("KestrelcutTestGuard"));
    if (!instance.acquire()) {
        const bool answered = instance.activateRunningInstance(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
        std::printf("second %s\n", answered ? "answered" : "unanswered");
        return 3;
    }
    std::printf("first\n");
    std::fflush(stdout);
    QObject::connect(&instance, &kc::SingleInstance::openRequested, &app, [](const QString &path) {
        std::printf("open %s\n", path.toUtf8().constData());
        std::fflush(stdout);
    });
    QObject::connect(&instance, &kc::SingleInstance::activationRequested, &app, [] {
        std::printf("activated\n");
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(1); });
    return app.exec();
}
