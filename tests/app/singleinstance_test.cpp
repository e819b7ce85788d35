#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Every process of a test shares one private runtime folder.
QProcessEnvironment isolatedEnvironment(const QTemporaryDir &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

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
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess first;
    first.setProcessEnvironment(isolatedEnvironment(runtime));
    first.start(QStringLiteral(KC_PROBE_PATH), {});
    ASSERT_TRUE(waitForLine(first, "first"));

    QProcess second;
    second.setProcessEnvironment(isolatedEnvironment(runtime));
    second.start(QStringLiteral(KC_PROBE_PATH), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.readAllStandardOutput().contains("second answered"));

    ASSERT_TRUE(waitForLine(first, "activated"));
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST(SingleInstance, ACrashedInstanceLeavesNothingStale)
{
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess crashed;
    crashed.setProcessEnvironment(isolatedEnvironment(runtime));
    crashed.start(QStringLiteral(KC_PROBE_PATH), {});
    ASSERT_TRUE(waitForLine(crashed, "first"));
    crashed.kill(); // SIGKILL: the lock file and the socket stay behind
    crashed.waitForFinished();

    QProcess next;
    next.setProcessEnvironment(isolatedEnvironment(runtime));
    next.start(QStringLiteral(KC_PROBE_PATH), {});
    EXPECT_TRUE(waitForLine(next, "first"));
    next.kill();
    next.waitForFinished();
}
