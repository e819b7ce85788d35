#include "app/runandwait.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RunAndWait, ReturnsTheChildsExitCodeOrMinusOne)
{
    EXPECT_EQ(kc::RunAndWait(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 3")}), 3);
    EXPECT_EQ(kc::RunAndWait(QStringLiteral("/bin/true"), {}), 0);
    EXPECT_EQ(kc::RunAndWait(QStringLiteral("/nonexistent/program"), {}), -1);
    // Killed by a signal: no exit code to give.
    EXPECT_EQ(kc::RunAndWait(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -9 $$")}), -1);
}

TEST(RunStartupScript, MissingScriptChangesNothing)
{
    QTemporaryDir dir;
    EXPECT_EQ(kc::RunStartupScript(dir.path() + QLatin1Char('/')), -1);
}

TEST(RunStartupScript, RunsTheScriptByItsPathEvenInAFolderWithShellCharacters)
{
    QTemporaryDir dir;
    // A folder name that a shell command line would split or evaluate.
    const QString folder = dir.filePath(QStringLiteral("程序 a;b $(touch pwned)"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile script(folder + QStringLiteral("/VideoEdit.sh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("echo ran > \"$(dirname \"$0\")/ran.txt\"\nexit 7\n");
    script.close();

    EXPECT_EQ(kc::RunStartupScript(folder + QLatin1Char('/')), 7);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/ran.txt")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("pwned"))));
}
