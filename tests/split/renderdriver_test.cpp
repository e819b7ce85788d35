#include "splitwindow.h"

#include "common/numericfield.h"
#include "components/videoedit/tvideoedit.h"
#include "source/showrange.h"
#include "source/sourcemedia.h"
#include "split/progresspercent.h"
#include "support/clips.h"
#include "support/messagerecorder.h"
#include "support/realworldclips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

constexpr int kJobTimeoutMs = 60000;

TEST(RenderDriverProgress, PercentOfTheRunningPiece)
{
    const struct {
        double cur, dur;
        int percent;
    } cases[] = {
        {2, 3, 67}, {1, 3, 33}, {0.5, 100, 1}, {0.49, 100, 0}, {0, 10, 0},
        {10, 10, 100}, {11, 10, 100}, {-1, 10, 0}, {5, 0, 0}, {5, -1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ProgressPercent(c.cur, c.dur), c.percent) << c.cur << "/" << c.dur;
}

class RenderDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        outDir = dir.path() + QStringLiteral("/out/");
        ASSERT_TRUE(QDir().mkpath(outDir));
        w.edtOutput->setText(outDir);
        TSourceMedia = SourceMediaRecord();
        // Most tests render MPEG-1 at a small size: it is quick.
        w.out.RadBtMPEG->click();
        w.out.edtWidth->setValue(160);
        w.out.edtHeight->setValue(120);
        QObject::connect(w.pgbHint, &QProgressBar::valueChanged, [this](int v) {
            maxProgress = std::max(maxProgress, v);
        });
    }

    void TearDown() override
    {
        w.driver->StopForClose();
        TSourceMedia = SourceMediaRecord();
    }

    // Makes the clip the current source, as loading does.
    void Load(double seconds, const QString &name = QStringLiteral("clip.avi"))
    {
        const QString clip = dir.filePath(name);
        ClipRecipe clipRecipe;
        clipRecipe.seconds = seconds;
        ASSERT_TRUE(MakeClip(clip, clipRecipe));
        TSourceMedia.FileName = clip;
        TSourceMedia.Duration = ve.GetFileDuration(clip);
        ASSERT_GT(TSourceMedia.Duration, seconds - 0.2);
        TSourceMedia.StartTime = 0;
        TSourceMedia.EndTime = TSourceMedia.Duration;
        ShowRange(w.range.fields);
    }

    void SetCustomRange(double start, double end)
    {
        TSourceMedia.StartTime = start;
        TSourceMedia.EndTime = end;
        ShowRange(w.range.fields);
    }

    bool WaitForIdle(int timeoutMs = kJobTimeoutMs)
    {
        return QTest::qWaitFor([this] { return !w.driver->IsSplitting(); }, timeoutMs);
    }

    QStringList OutputFiles() const
    {
        return QDir(outDir).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    QString outDir;
    TVideoEdit ve;
    SplitWindow w{&ve};
    MessageRecorder messages;
    int maxProgress = 0;
};

TEST_F(RenderDriverTest, NoSourceDoesNothing)
{
    w.btSplitter->click();
    EXPECT_FALSE(w.driver->IsSplitting());
    EXPECT_TRUE(w.enableCalls.isEmpty());
    EXPECT_EQ(w.previewStops, 0);
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_TRUE(w.Unlocked());
}

TEST_F(RenderDriverTest, CustomRangeWritesOneFile)
{
    Load(3);
    SetCustomRange(0.5, 2.0);
    QStringList hintsWhileRendering;
    QObject::connect(w.pgbHint, &QProgressBar::valueChanged, [&] { hintsWhileRendering << w.pnlHint->text(); });
    QStringList stateWhenDone;
    messages.setOnMessage([&](const MessageRecorder::Entry &) {
        // While the box is open the window is still locked.
        stateWhenDone << (w.Unlocked() ? "unlocked" : "locked");
    });

    w.btSplitter->click();
    EXPECT_EQ(w.previewStops, 1);
    ASSERT_TRUE(w.driver->IsSplitting()) << messages.texts().join('|').toStdString();
    EXPECT_FALSE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示：正在分割... ..."));
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_EQ(stateWhenDone, QStringList{"locked"});
    EXPECT_TRUE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示："));
    EXPECT_EQ(w.pgbHint->value(), 0);
    EXPECT_GT(maxProgress, 0);
    EXPECT_EQ(OutputFiles(), QStringList{QStringLiteral("clip_new0.mpg")});
    const double d = ProbeValue(outDir + "clip_new0.mpg", "format=duration").toDouble();
    EXPECT_NEAR(d, 1.5, 0.25);
    EXPECT_EQ(ProbeValue(outDir + "clip_new0.mpg", "stream=codec_name", "v:0"), QStringLiteral("mpeg1video"));

    // A second custom cut never replaces the first.
    messages.clear();
    w.btSplitter->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(OutputFiles(), (QStringList{QStringLiteral("clip_new0.mpg"), QStringLiteral("clip_new1.mpg")}));
}

TEST_F(RenderDriverTest, EqualPartsWriteNumberedFiles)
{
    Load(3);
    // A file of the same name as a piece is replaced.
    QFile old(outDir + "clip_new(2).mpg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    w.range.radBtSplitAver->click();
    w.range.snEditSplitNum->setValue(3);
    QStringList hints; // the status text while each piece renders
    QObject::connect(&ve, &TVideoEdit::OnProcessing, [&] {
        if (hints.isEmpty() || hints.last() != w.pnlHint->text())
            hints << w.pnlHint->text();
    });

    w.btSplitter->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_EQ(hints, (QStringList{QStringLiteral("提示：正在输出第1个文件... ..."),
                                  QStringLiteral("提示：正在输出第2个文件... ..."),
                                  QStringLiteral("提示：正在输出第3个文件... ...")}));
    EXPECT_EQ(w.driver->SplitJob().PieceIndex, 4);
    EXPECT_EQ(OutputFiles(), (QStringList{QStringLiteral("clip_new(1).mpg"), QStringLiteral("clip_new(2).mpg"),
                                          QStringLiteral("clip_new(3).mpg")}));
    EXPECT_GT(QFileInfo(outDir + "clip_new(2).mpg").size(), 1000);
    EXPECT_GT(maxProgress, 0);
    EXPECT_TRUE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示："));
}

TEST_F(RenderDriverTest, ByTimeWritesTheFullPiecesAndTheRest)
{
    Load(2.5);
    w.out.RadBtAVI->click();
    w.out.cboPicSize->setCurrentIndex(4); // 160x120
    w.range.radBtSplitTime->click();
    w.range.EditSplitTime->setText(QStringLiteral("1"));

    w.btSplitter->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_EQ(OutputFiles(), (QStringList{QStringLiteral("clip_new(1).avi"), QStringLiteral("clip_new(2).avi"),
                                          QStringLiteral("clip_new(3).avi")}));
    EXPECT_NEAR(ProbeValue(outDir + "clip_new(3).avi", "format=duration").toDouble(), 0.5, 0.2);
    EXPECT_EQ(ProbeValue(outDir + "clip_new(1).avi", "stream=width", "v:0"), QStringLiteral("160"));
}

// The sound outlasts the pictures by 5 ms: the by-time plan's last range holds sound only.
// It is no piece; the job ends as done, with every piece that has pictures written.
TEST_F(RenderDriverTest, TailWithoutPictureEndsTheJobAsDone)
{
    const QString clip = dir.filePath(QStringLiteral("tail.mkv"));
    const RealWorldClip made = MakeRealWorldClip(RealWorld::SoundOutlastsPicture, clip);
    if (!made.skipReason.isEmpty())
        GTEST_SKIP() << made.skipReason.toStdString();
    ASSERT_TRUE(made.ok) << made.log.toStdString();
    TSourceMedia.FileName = clip;
    TSourceMedia.Duration = ve.GetFileDuration(clip);
    ASSERT_GT(TSourceMedia.Duration, 4.0);
    w.out.RadBtAVI->click();
    w.out.cboPicSize->setCurrentIndex(4); // 160x120
    w.range.radBtSplitTime->click();
    w.range.EditSplitTime->setText(QStringLiteral("2"));
    QString hintAtTheEnd;
    messages.setOnMessage([&](const MessageRecorder::Entry &) { hintAtTheEnd = w.pnlHint->text(); });

    w.btSplitter->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_FALSE(w.driver->SplitJob().Stopped);
    EXPECT_TRUE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示："));
    EXPECT_EQ(w.pgbHint->value(), 0);
    EXPECT_EQ(OutputFiles(), (QStringList{QStringLiteral("tail_new(1).avi"), QStringLiteral("tail_new(2).avi")}));
}

TEST_F(RenderDriverTest, RefusalsEndTheAttemptUnlocked)
{
    Load(2);
    const struct {
        const char *name;
        std::function<void()> setUp;
        QString message;
    } cases[] = {
        {"start not below end", [&] { SetCustomRange(1.5, 1.5); },
         QStringLiteral("开始时间大于结束时间，请重新设置!")},
        {"end past the source", [&] { SetCustomRange(0, TSourceMedia.Duration + 1.5); },
         QStringLiteral("结束时间大于视频总时间，请重新设置!")},
        {"by-time length 0",
         [&] {
             w.range.radBtSplitTime->click();
             w.range.EditSplitTime->setText(QStringLiteral("0"));
         },
         QStringLiteral("时间设置不正确，请重新设置！")},
    };
    for (const auto &c : cases) {
        messages.clear();
        c.setUp();
        w.btSplitter->click();
        EXPECT_FALSE(w.driver->IsSplitting()) << c.name;
        EXPECT_EQ(messages.texts(), QStringList{c.message}) << c.name;
        EXPECT_TRUE(w.Unlocked()) << c.name;
    }
    // An unreadable time field: the plain box, and nothing rendered.
    messages.clear();
    w.range.radBtSplitCus->click();
    w.range.fields.edtEndSecond->setText(QStringLiteral("-"));
    w.btSplitter->click();
    EXPECT_FALSE(w.driver->IsSplitting());
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("时间设置有错!")});
    EXPECT_EQ(messages.entries().value(0).kind, MessageKind::Plain);
    EXPECT_TRUE(w.Unlocked());
    EXPECT_TRUE(OutputFiles().isEmpty());
}

TEST_F(RenderDriverTest, StopMidJobKeepsFinishedPiecesOnly)
{
    Load(3);
    w.range.radBtSplitAver->click();
    w.range.snEditSplitNum->setValue(3);
    // Stop as soon as the second piece reports progress.
    QObject::connect(&ve, &TVideoEdit::OnProcessing, w.btStop, [&] {
        if (w.driver->IsSplitting() && w.driver->SplitJob().PieceIndex == 2)
            w.btStop->click();
    }, Qt::QueuedConnection);

    w.btSplitter->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(w.driver->SplitJob().Stopped);
    EXPECT_TRUE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示："));
    EXPECT_EQ(w.pgbHint->value(), 0);
    // Late events of the stopped render change nothing.
    QTest::qWait(700);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join('|').toStdString();
    EXPECT_EQ(w.pgbHint->value(), 0);
    EXPECT_EQ(OutputFiles(), QStringList{QStringLiteral("clip_new(1).mpg")});
}

TEST_F(RenderDriverTest, UnwritableFolderGivesTheSaveFailure)
{
    Load(2);
    QFile blocker(dir.filePath(QStringLiteral("plainfile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.edtOutput->setText(blocker.fileName() + QStringLiteral("/sub/"));
    w.range.radBtSplitAver->click();

    w.btSplitter->click();
    EXPECT_FALSE(w.driver->IsSplitting());
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("视频文件保存失败,请改变输出路径后再试!")))
        << messages.last().toStdString();
    EXPECT_TRUE(w.driver->SplitJob().Stopped);
    EXPECT_TRUE(w.Unlocked());
    EXPECT_EQ(w.pnlHint->text(), QStringLiteral("提示：第1个文件保存失败"));
}

TEST_F(RenderDriverTest, RenderFailingAfterItStartedEndsTheJob)
{
    Load(3);
    w.range.radBtSplitAver->click();
    w.range.snEditSplitNum->setValue(3);
    w.btSplitter->click();
    ASSERT_TRUE(w.driver->IsSplitting());
    // The render of piece 1 ends in failure: stop the real one and deliver the failure.
    ve.Stop();
    emit ve.OnComplete(false, QStringLiteral("磁盘已满"));

    EXPECT_FALSE(w.driver->IsSplitting());
    EXPECT_EQ(messages.texts(),
              QStringList{QStringLiteral("视频文件保存失败,请改变输出路径后再试!\n磁盘已满")});
    EXPECT_TRUE(w.driver->SplitJob().Stopped);
    EXPECT_TRUE(w.Unlocked());
    QTest::qWait(300);
    EXPECT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(OutputFiles().isEmpty());
}

TEST_F(RenderDriverTest, ClosingDuringARenderRemovesTheUnfinishedPiece)
{
    Load(3);
    w.btSplitter->click();
    ASSERT_TRUE(w.driver->IsSplitting());
    w.driver->StopForClose();
    EXPECT_FALSE(w.driver->IsSplitting());
    EXPECT_FALSE(ve.IsRendering());
    QTest::qWait(300);
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_TRUE(OutputFiles().isEmpty());
}

} // namespace
} // namespace kc::test
