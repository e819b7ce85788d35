#include "isolatedruntime.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

bool waitForLine(QProcess &p, const QByteArray &line, int timeoutMs = 10000)
{
    QByteArray seen;
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
