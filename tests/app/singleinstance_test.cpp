#include "isolatedruntime.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

bool waitForLine(QProcess &p, const QByteArray &line, int timeoutMs = 10000, QByteArray *said = nullptr)
{
    QByteArray local;
    QByteArray &seen = said ? *said : local;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (!p.waitForReadyRead(200) && p.state() == QProcess::NotRunning)
            return false;
        seen += p.readAllStandardOutput();
        if (seen.contains(line))
            return true;
    }
    return false;
}

} // namespace

TEST(SingleInstance, ASecondProcessActivatesTheFirstAndEnds)
{
    IsolatedRuntime runtime;
    QProcess first;
    runtime.start(first, QStringLiteral(KC_PROBE_PATH));
    ASSERT_TRUE(waitForLine(first, "first"));

    QProcess second;
    runtime.start(second, QStringLiteral(KC_PROBE_PATH));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.readAllStandardOutput().contains("second answered"));

    ASSERT_TRUE(waitForLine(first, "activated"));
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST(SingleInstance, ASecondProcessHandsItsFileOverBeforeTheActivation)
{
    IsolatedRuntime runtime;
    QProcess first;
    runtime.start(first, QStringLiteral(KC_PROBE_PATH));
    ASSERT_TRUE(waitForLine(first, "first"));

    // Blanks, a line break and Chinese must arrive unchanged.
    const QString path = QStringLiteral("/srv/视频 目录/a\nb 片段.mp4");
    QProcess second;
    runtime.start(second, QStringLiteral(KC_PROBE_PATH), {path});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);

    QByteArray said;
    ASSERT_TRUE(waitForLine(first, "activated", 10000, &said));
    EXPECT_EQ(QString::fromUtf8(said), QStringLiteral("open ") + path + QStringLiteral("\nactivated\n"));
    ASSERT_TRUE(first.waitForFinished(5000));
}

TEST(SingleInstance, ACrashedInstanceLeavesNothingStale)
{
    IsolatedRuntime runtime;
    QProcess crashed;
    runtime.start(crashed, QStringLiteral(KC_PROBE_PATH));
    ASSERT_TRUE(waitForLine(crashed, "first"));
    crashed.kill(); // SIGKILL: the lock file and the socket stay behind
    crashed.waitForFinished();

    QProcess next;
    runtime.start(next, QStringLiteral(KC_PROBE_PATH));
    EXPECT_TRUE(waitForLine(next, "first"));
    next.kill();
    next.waitForFinished();
}
