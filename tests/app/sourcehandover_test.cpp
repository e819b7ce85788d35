// Files that reach the main window from outside: dropped on it, named on the command line,
// handed over by a later start of the program. Each must load as "添加" does.
#include "app/singleinstance.h"
#include "app/sourcerequests.h"
#include "app/tfrmmain.h"
#include "common/timeparts.h"
#include "isolatedruntime.h"
#include "source/sourcemedia.h"
#include "support/clips.h"
#include "support/dropfiles.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using kc::TSourceMedia;
using kc::test::DropFile;
using kc::test::DropUrls;
using kc::test::MessageRecorder;

namespace {

QTemporaryDir &clipDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A two-second clip, made once.
QString clip(const QString &name = QStringLiteral("片段 one.avi"))
{
    const QString path = clipDir().filePath(name);
    if (!QFileInfo::exists(path)) {
        kc::test::ClipRecipe recipe;
        recipe.seconds = 2.0;
        recipe.width = 160;
        recipe.height = 120;
        EXPECT_TRUE(kc::test::MakeClip(path, recipe));
    }
    return path;
}

class SourceHandOver : public ::testing::Test
{
protected:
    void SetUp() override { TSourceMedia = kc::SourceMediaRecord(); }

    QString totalTime() { return window.findChild<QLabel *>(QStringLiteral("labTotalTime"))->text().trimmed(); }
    bool loaded(const QString &path)
    {
        return QTest::qWaitFor([&] { return TSourceMedia.FileName == path; }, 5000);
    }

    MessageRecorder messages;
    kc::TFrmMain window;
};

TEST_F(SourceHandOver, AFileDroppedAnywhereOnTheWindowLoadsAsAddDoes)
{
    const QString path = clip();
    // Over a text field too: the field must not paste the file's name.
    auto *seconds = window.findChild<QLineEdit *>(QStringLiteral("EditSplitTime"));
    ASSERT_NE(seconds, nullptr);
    const QString secondsBefore = seconds->text();
    ASSERT_TRUE(DropFile(seconds, path));
    ASSERT_TRUE(loaded(path));
    EXPECT_EQ(seconds->text(), secondsBefore);
    EXPECT_NEAR(TSourceMedia.Duration, 2.0, 0.1);
    EXPECT_EQ(totalTime(), kc::FormatSeconds(TSourceMedia.Duration).trimmed());
    EXPECT_EQ(TSourceMedia.EndTime, TSourceMedia.Duration);
    EXPECT_TRUE(window.findChild<QAbstractButton *>(QStringLiteral("btPrePlay"))->isEnabled());
    EXPECT_TRUE(messages.entries().isEmpty()) << messages.texts().join('|').toStdString();
}

TEST_F(SourceHandOver, WhatIsNotOneLocalFileOrArrivesDuringASplitIsNotTaken)
{
    const QString path = clip();
    QTemporaryDir folder;
    const struct {
        const char *what;
        QList<QUrl> urls;
    } refused[] = {
        {"a folder", {QUrl::fromLocalFile(folder.path())}},
        {"two files", {QUrl::fromLocalFile(path), QUrl::fromLocalFile(clip(QStringLiteral("two.avi")))}},
        {"a missing file", {QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone.avi")))}},
        {"a remote file", {QUrl(QStringLiteral("https://example.org/clip.avi"))}},
    };
    for (const auto &r : refused) {
        EXPECT_FALSE(DropUrls(&window, r.urls)) << r.what;
        QTest::qWait(20);
        EXPECT_TRUE(TSourceMedia.FileName.isEmpty()) << r.what;
    }

    window.EnableControl(false); // as while a split runs
    EXPECT_FALSE(DropFile(&window, path));
    QTest::qWait(20);
    EXPECT_TRUE(TSourceMedia.FileName.isEmpty());
    window.EnableControl(true);
    EXPECT_TRUE(messages.entries().isEmpty()) << messages.texts().join('|').toStdString();
}

TEST_F(SourceHandOver, ADroppedFileNoEngineReadsIsReportedAsAddReportsIt)
{
    QFile junk(clipDir().filePath(QStringLiteral("junk.avi")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    ASSERT_TRUE(DropFile(&window, junk.fileName()));
    ASSERT_TRUE(loaded(junk.fileName()));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("无法识别的视频文件!")});
}

TEST_F(SourceHandOver, TheCommandLineFileLoadsOnceTheWindowIsThere)
{
    const QString path = clip();
    kc::SourceRequests requests(nullptr, path);
    EXPECT_EQ(requests.waitingFile(), path);
    requests.deliverTo(&window);
    ASSERT_TRUE(loaded(path));
    EXPECT_NEAR(TSourceMedia.Duration, 2.0, 0.1);
    EXPECT_TRUE(requests.waitingFile().isEmpty());
}

TEST_F(SourceHandOver, AHandedOverFileIsRefusedWithItsPathDuringASplitOrWhenItIsMissing)
{
    const QString path = clip();
    const QString missing = clipDir().filePath(QStringLiteral("没有这个文件.mp4"));
    const struct {
        const char *what;
        QString path;
        bool splitRunning;
    } refused[] = {{"during a split", path, true}, {"missing", missing, false}};
    for (const auto &r : refused) {
        messages.clear();
        window.EnableControl(!r.splitRunning);
        window.OpenSourceFile(r.path);
        window.EnableControl(true);
        EXPECT_TRUE(TSourceMedia.FileName.isEmpty()) << r.what;
        ASSERT_EQ(messages.entries().size(), 1) << r.what;
        EXPECT_TRUE(messages.last().contains(r.path)) << r.what;
    }
}

// The real program started a second time with a file, beside this test as the first instance.
TEST_F(SourceHandOver, ASecondStartWithAFileHandsItToTheRunningWindow)
{
    IsolatedRuntime runtime;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    kc::SingleInstance first;
    ASSERT_TRUE(first.acquire());
    kc::SourceRequests requests(&first, QString());
    requests.deliverTo(&window);
    bool activated = false;
    QObject::connect(&first, &kc::SingleInstance::activationRequested, [&activated] { activated = true; });

    // Named relative to the second start's own folder.
    const QString path = clip();
    QProcess second;
    // Should it not find this instance it would stay up as a first one.
    auto stopIt = qScopeGuard([&second] {
        if (second.state() != QProcess::NotRunning) {
            second.kill();
            second.waitForFinished();
        }
    });
    second.setWorkingDirectory(QFileInfo(path).absolutePath());
    runtime.start(second, QStringLiteral(KC_PROGRAM_PATH), {QFileInfo(path).fileName()});
    ASSERT_TRUE(second.waitForStarted());
    const bool handed = QTest::qWaitFor([&] { return TSourceMedia.FileName == path; }, 10000);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(handed) << TSourceMedia.FileName.toStdString();
    EXPECT_TRUE(activated);
    EXPECT_NEAR(TSourceMedia.Duration, 2.0, 0.1);
    if (savedRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

} // namespace
