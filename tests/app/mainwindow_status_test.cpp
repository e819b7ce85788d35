// The status bar of the real main window after every way a split can end.
#include "app/tfrmmain.h"
#include "common/numericfield.h"
#include "components/videoedit/tvideoedit.h"
#include "source/sourcemedia.h"
#include "split/renderdriver.h"
#include "support/clips.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

template <typename T = QWidget>
T *Control(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST(MainWindowStatus, EveryEndOfAJobLeavesATrueHint)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 2;
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    const QString out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
    QFile blocker(dir.filePath(QStringLiteral("plainfile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = blocker.fileName() + QStringLiteral("/sub/");

    MessageRecorder messages;
    TFrmMain w;
    w.show();
    w.hide();
    auto *driver = w.findChild<RenderDriver *>();
    ASSERT_NE(driver, nullptr);
    TSourceMedia = SourceMediaRecord();
    TSourceMedia.FileName = clip;
    TSourceMedia.Duration = w.videoEdit().GetFileDuration(clip);
    TSourceMedia.EndTime = TSourceMedia.Duration;

    auto *hint = Control<QLabel>(w, "pnlHint");
    auto *progress = Control<QProgressBar>(w, "pgbHint");
    auto *edtOutput = Control<QLineEdit>(w, "edtOutput");
    auto *split = Control<QAbstractButton>(w, "btSplitter");
    Control<QRadioButton>(w, "RadBtMPEG")->click();
    Control<NumericField>(w, "edtWidth")->setValue(160);
    Control<NumericField>(w, "edtHeight")->setValue(120);
    auto equalParts = [&] {
        edtOutput->setText(out);
        Control<QRadioButton>(w, "radBtSplitAver")->click();
        Control<QSpinBox>(w, "snEditSplitNum")->setValue(2);
    };
    auto waitForEnd = [&] { return QTest::qWaitFor([&] { return !driver->IsSplitting(); }, 60000); };

    const struct {
        const char *name;
        std::function<void()> setUp;
        std::function<void()> during; // run once the job runs; empty: the job ends by itself
        QString message;              // the start of the one message, empty for none
        QString hint;
    } cases[] = {
        {"done", equalParts, {}, QStringLiteral("分割完成!"), QStringLiteral("提示：")},
        {"unwritable folder",
         [&] {
             equalParts();
             edtOutput->setText(unwritable);
         },
         {}, QStringLiteral("视频文件保存失败"), QStringLiteral("提示：第1个文件保存失败")},
        {"refused after a failure",
         [&] {
             edtOutput->setText(out);
             Control<QRadioButton>(w, "radBtSplitTime")->click();
             Control<QLineEdit>(w, "EditSplitTime")->setText(QStringLiteral("0"));
         },
         {}, QStringLiteral("时间设置不正确"), QStringLiteral("提示：")},
        {"piece 2 fails while it renders", equalParts,
         [&] {
             ASSERT_TRUE(QTest::qWaitFor([&] { return driver->SplitJob().PieceIndex == 2; }, 60000));
             w.videoEdit().Stop();
             emit w.videoEdit().OnComplete(false, QStringLiteral("磁盘已满"));
         },
         QStringLiteral("视频文件保存失败"), QStringLiteral("提示：第2个文件保存失败")},
        {"stopped", equalParts, [&] { Control<QAbstractButton>(w, "btStop")->click(); }, QString(),
         QStringLiteral("提示：")},
        {"custom range fails", [&] {
             edtOutput->setText(unwritable);
             Control<QRadioButton>(w, "radBtSplitCus")->click();
             Control<NumericField>(w, "edtEndSecond")->setValue(1);
         },
         {}, QStringLiteral("视频文件保存失败"), QStringLiteral("提示：分割失败")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        c.setUp();
        split->click();
        if (c.during)
            c.during();
        ASSERT_TRUE(waitForEnd());
        if (c.message.isEmpty()) {
            EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join('|').toStdString();
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 60000));
            EXPECT_TRUE(messages.last().startsWith(c.message)) << messages.last().toStdString();
        }
        EXPECT_EQ(hint->text(), c.hint);
        EXPECT_EQ(progress->value(), 0);
        EXPECT_TRUE(split->isEnabled());
    }
    TSourceMedia = SourceMediaRecord();
}

} // namespace
} // namespace kc::test
