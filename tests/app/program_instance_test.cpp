#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {
QProcessEnvironment isolatedEnvironment(const QTemporaryDir &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}
} // namespace

TEST(ProgramInstance, StartedTwiceItShowsOneWindow)
{
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess first;
    first.setProcessEnvironment(isolatedEnvironment(runtime));
    first.start(QStringLiteral(KC_PROGRAM_PATH), {});
    ASSERT_TRUE(first.waitForStarted());
    // The first instance takes the lock before its splash shows.
    const QString lock = runtime.filePath(QStringLiteral("RunOnlyOnce_Tolvanekestrelcut.lock"));
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(lock) && t.elapsed() < 10000)
        QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(lock));

    QProcess second;
    second.setProcessEnvironment(isolatedEnvironment(runtime));
    second.start(QStringLiteral(KC_PROGRAM_PATH), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished();
    }
}
