// The job against small stand-in children written as shell scripts.
#include "printers.h"
#include "fastsplit/streamcopyjob.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// A stand-in encoder: a script that gets the arguments of the real one; "$OUT" is the
// output path (the last argument).
QString WriteChild(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write("#!/bin/sh\nfor OUT in \"$@\"; do :; done\n");
    f.write(body);
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}

QStringList ArgsFor(const QString &input, const QString &output)
{
    return {input, "-ss", "00:00:00.000", "-endpos", "00:00:02.000", "-ovc", "copy", "-oac", "copy", "-o", output};
}

bool WaitFinished(QSignalSpy &spy, int ms = 10000)
{
    return spy.count() > 0 || spy.wait(ms);
}

bool ProcessAlive(const QString &pidFile)
{
    QFile f(pidFile);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pid = f.readAll().trimmed();
    return !pid.isEmpty() && QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(pid));
}

} // namespace

TEST(StreamCopyJob, NotesBecomeProgressAndAWrittenFileSucceeds)
{
    QTemporaryDir dir;
    const QString child = WriteChild(dir, "enc", R"(
printf 'Pos:   0.5s\n'; sleep 0.2
printf 'Pos:   1.0s\n'; sleep 0.2
printf 'Pos:   2.0s\n'
printf 'data' > "$OUT"
)");
    const QString out = dir.filePath("out.avi");
    kc::StreamCopyJob job;
    QSignalSpy progress(&job, &kc::StreamCopyJob::progress);
    QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
    ASSERT_TRUE(job.start(child, ArgsFor("in.avi", out), out, 2.0));
    EXPECT_TRUE(job.isRunning());
    EXPECT_FALSE(job.start(child, ArgsFor("in.avi", out), out, 2.0)); // one at a time
    ASSERT_TRUE(WaitFinished(finished));
    EXPECT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::Written);
    EXPECT_FALSE(job.isRunning());
    QList<int> seen;
    for (const QList<QVariant> &args : progress)
        seen << args.at(0).toInt();
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(StreamCopyJob, ArgumentsReachTheChildWholeAndItsInputIsEmpty)
{
    QTemporaryDir dir;
    // cat ends at once on the null device; it would hang on an open pipe.
    const QString child = WriteChild(dir, "enc", R"(
cat > /dev/null
for a in "$@"; do printf '%s\n' "$a"; done > "$OUT"
)");
    const QString input = QStringLiteral("/v/a \"b\" 'c' 片段 $HOME;.avi");
    const QString out = dir.filePath(QStringLiteral("输出 \"x\".avi"));
    kc::StreamCopyJob job;
    QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
    ASSERT_TRUE(job.start(child, ArgsFor(input, out), out, 2.0));
    ASSERT_TRUE(WaitFinished(finished));
    ASSERT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::Written) << job.reason().toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), ArgsFor(input, out).join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

TEST(StreamCopyJob, FailuresCarryTheirReason)
{
    const struct {
        const char *name;
        QByteArray body;
        const char *reason; // empty: only checked for not being empty
    } cases[] = {
        {"refuses", "printf 'Pos:   0.5s\\n'\necho 'cannot open input: No such file' >&2\nexit 1\n",
         "cannot open input: No such file"},
        {"silent-failure", "exit 3\n", "FileEncoder 退出码 3"},
        {"no-output", "printf 'Pos:   2.0s\\n'\nexit 0\n", ""},
        {"empty-output", ": > \"$OUT\"\nexit 0\n", ""},
        {"crash", "kill -SEGV $$\n", ""},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString child = WriteChild(dir, "enc", c.body);
        const QString out = dir.filePath("out.avi");
        kc::StreamCopyJob job;
        QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
        ASSERT_TRUE(job.start(child, ArgsFor("in.avi", out), out, 2.0));
        ASSERT_TRUE(WaitFinished(finished)) << c.name;
        EXPECT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::Failed) << c.name;
        if (*c.reason)
            EXPECT_EQ(job.reason(), QString::fromUtf8(c.reason)) << c.name;
        else
            EXPECT_FALSE(job.reason().isEmpty()) << c.name;
    }
}

TEST(StreamCopyJob, AChildThatCannotStartGivesTheSystemText)
{
    QTemporaryDir dir;
    QFile notExecutable(dir.filePath("enc"));
    ASSERT_TRUE(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.write("#!/bin/sh\n");
    notExecutable.close();
    const struct {
        QString program;
        const char *reason;
    } cases[] = {
        {dir.filePath("missing/FileEncoder"), "No such file or directory"},
        {dir.filePath("enc"), "Permission denied"},
    };
    for (const auto &c : cases) {
        kc::StreamCopyJob job;
        QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
        const QString out = dir.filePath("out.avi");
        ASSERT_TRUE(job.start(c.program, ArgsFor("in.avi", out), out, 2.0));
        ASSERT_TRUE(WaitFinished(finished));
        EXPECT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::StartFailed);
        EXPECT_EQ(job.reason(), QString::fromLatin1(c.reason));
        EXPECT_FALSE(QFileInfo::exists(out));
    }
}

TEST(SystemErrorText, DropsTheCallNameAndTheEnd)
{
    EXPECT_EQ(kc::SystemErrorText(QStringLiteral("execvp: No such file or directory")),
              QStringLiteral("No such file or directory"));
    EXPECT_EQ(kc::SystemErrorText(QStringLiteral("Process failed to start. \r\n")),
              QStringLiteral("Process failed to start"));
    EXPECT_EQ(kc::SystemErrorText(QStringLiteral("系统找不到指定的文件。\r\n")), QStringLiteral("系统找不到指定的文件"));
}

TEST(StreamCopyJob, TheCallerStaysLiveWhileTheChildIsSilent)
{
    QTemporaryDir dir;
    const QString child = WriteChild(dir, "enc", "sleep 1\nprintf 'data' > \"$OUT\"\n");
    const QString out = dir.filePath("out.avi");
    kc::StreamCopyJob job;
    QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(job.start(child, ArgsFor("in.avi", out), out, 2.0));
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_TRUE(WaitFinished(finished));
    EXPECT_GE(ticks, 10);
    EXPECT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::Written);
}

TEST(StreamCopyJob, CancelEndsTheChildAndRemovesItsOutput)
{
    const struct {
        const char *name;
        QByteArray body;
    } cases[] = {
        {"polite", "echo $$ > \"$OUT.pid\"\nprintf 'half' > \"$OUT\"\nprintf 'Pos:   0.5s\\n'\n"
                   "while :; do sleep 0.1; done\n"},
        // Ignores the polite request: killed after the grace period.
        {"stubborn", "trap '' TERM\necho $$ > \"$OUT.pid\"\nprintf 'half' > \"$OUT\"\nprintf 'Pos:   0.5s\\n'\n"
                     "while :; do sleep 0.1; done\n"},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString child = WriteChild(dir, "enc", c.body);
        const QString out = dir.filePath("out.avi");
        kc::StreamCopyJob job;
        QSignalSpy progress(&job, &kc::StreamCopyJob::progress);
        QSignalSpy finished(&job, &kc::StreamCopyJob::finished);
        ASSERT_TRUE(job.start(child, ArgsFor("in.avi", out), out, 2.0));
        ASSERT_TRUE(progress.wait(5000)) << c.name; // the half file is there now
        ASSERT_TRUE(QFileInfo::exists(out));
        job.cancel();
        EXPECT_EQ(finished.count(), 1) << c.name;
        EXPECT_EQ(job.outcome(), kc::StreamCopyJob::Outcome::Cancelled);
        EXPECT_FALSE(job.isRunning());
        EXPECT_FALSE(QFileInfo::exists(out)) << c.name;
        EXPECT_FALSE(ProcessAlive(out + ".pid")) << c.name;
    }
}

TEST(StreamCopyJob, DestroyingARunningJobEndsTheChild)
{
    QTemporaryDir dir;
    const QString child = WriteChild(dir, "enc", "echo $$ > \"$OUT.pid\"\nprintf 'half' > \"$OUT\"\n"
                                                 "printf 'Pos:   0.5s\\n'\nwhile :; do sleep 0.1; done\n");
    const QString out = dir.filePath("out.avi");
    auto job = std::make_unique<kc::StreamCopyJob>();
    QSignalSpy progress(job.get(), &kc::StreamCopyJob::progress);
    ASSERT_TRUE(job->start(child, ArgsFor("in.avi", out), out, 2.0));
    ASSERT_TRUE(progress.wait(5000));
    job.reset();
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_FALSE(ProcessAlive(out + ".pid"));
}
