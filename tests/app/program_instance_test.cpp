#include "isolatedruntime.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

TEST(ProgramInstance, StartedTwiceItShowsOneWindow)
{
    IsolatedRuntime runtime;
    QProcess first;
    runtime.start(first, QStringLiteral(KC_PROGRAM_PATH));
    ASSERT_TRUE(first.waitForStarted());
    // The first instance takes the lock before its splash shows.
    const QString lock = runtime.filePath(QStringLiteral("RunOnlyOnce_Tolvanekestrelcut.lock"));
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(lock) && t.elapsed() < 10000)
        QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(lock));

    QProcess second;
    runtime.start(second, QStringLiteral(KC_PROGRAM_PATH));
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
