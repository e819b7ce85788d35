// The output settings and the render driver inside the real main window.
#include "app/tfrmmain.h"
#include "common/numericfield.h"
#include "components/videoedit/tvideoedit.h"
#include "source/sourcemedia.h"
#include "split/outputsettings.h"
#include "split/renderdriver.h"
#include "support/clips.h"
#include "support/picturecompare.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
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

template <typename T = QWidget>
T *Control(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QStringList Items(const QComboBox *list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

// The positions the mapping gives meaning to are the window's list items.
TEST(MainWindowOutputSettings, ListsMatchTheMapping)
{
    TFrmMain w;
    QStringList sizes;
    for (const PicSizeItem &s : PicSizeItems())
        sizes << s.text;
    EXPECT_EQ(Items(Control<QComboBox>(w, "cboPicSize")), sizes);
    EXPECT_EQ(Items(Control<QComboBox>(w, "cboAVIFrame")), AviFrameItems());
    EXPECT_EQ(Items(Control<QComboBox>(w, "cmbMPEGVideoBit")), MpegVideoBitItems());
    EXPECT_EQ(Items(Control<QComboBox>(w, "cmbMpegFrame")), MpegFrameItems());
    EXPECT_EQ(Items(Control<QComboBox>(w, "cmbAudioSample")), AudioSampleItems());
    EXPECT_EQ(Items(Control<QComboBox>(w, "cmbAudioBit")), AudioBitItems());
    EXPECT_EQ(Items(Control<QComboBox>(w, "cboCusWMV")), CustomWmvProfileItems());
    auto *width = Control<NumericField>(w, "edtWidth");
    EXPECT_EQ(width->minimum(), MpegSizeMin);
    EXPECT_EQ(width->maximum(), MpegSizeMax);
}

// A whole split from the window's Split button, once the window holds the render driver.
TEST(MainWindowOutputSettings, SplitFromTheWindow)
{
    MessageRecorder messages;
    TFrmMain w;
    // Showing runs the show step; the window is hidden again before events are handled
    // because the offscreen platform cannot flush the preview's OpenGL surface.
    w.show();
    w.hide();
    if (!w.findChild<RenderDriver *>())
        GTEST_SKIP() << "the main window does not hold the render driver yet";
    // The show step filled the codec lists from the component.
    EXPECT_EQ(Control<QComboBox>(w, "cmbAVIVideoEncoder")->count(), w.videoEdit().VideoCompressors().Count());

    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 2;
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    const QString out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
    TSourceMedia = SourceMediaRecord();
    TSourceMedia.FileName = clip;
    TSourceMedia.Duration = w.videoEdit().GetFileDuration(clip);
    TSourceMedia.EndTime = TSourceMedia.Duration;

    Control<QLineEdit>(w, "edtOutput")->setText(out);
    Control<QRadioButton>(w, "RadBtMPEG")->click();
    Control<QRadioButton>(w, "radBtSplitAver")->click();
    Control<QSpinBox>(w, "snEditSplitNum")->setValue(2);
    auto *split = Control<QAbstractButton>(w, "btSplitter");
    split->click();
    EXPECT_FALSE(split->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 60000));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成!")});
    EXPECT_TRUE(split->isEnabled());
    EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("clip_new(1).mpg"), QStringLiteral("clip_new(2).mpg")}));
    TSourceMedia = SourceMediaRecord();
}

// The lossless choice copies the pieces: the source's container, a count in the closing
// message, no temporary file left beside them.
TEST(MainWindowOutputSettings, LosslessSplitFromTheWindow)
{
    MessageRecorder messages;
    TFrmMain w;
    w.show();
    w.hide();
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    const ClipRecipe clipRecipe = RecipeOf("libx264", "aac", 25, {"-sc_threshold", "0"}, 3);
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    const QString out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
    TSourceMedia = SourceMediaRecord();
    TSourceMedia.FileName = clip;
    TSourceMedia.Duration = w.videoEdit().GetFileDuration(clip);
    TSourceMedia.EndTime = TSourceMedia.Duration;

    Control<QLineEdit>(w, "edtOutput")->setText(out);
    auto *lossless = Control<QRadioButton>(w, "RadBtCopy");
    EXPECT_EQ(lossless->text(), QStringLiteral("无损（不重新编码）"));
    lossless->click();
    EXPECT_EQ(Control<QStackedWidget>(w, "PgCtl")->currentWidget()->objectName(), QStringLiteral("TabSheetCopy"));
    Control<QRadioButton>(w, "radBtSplitAver")->click();
    Control<QSpinBox>(w, "snEditSplitNum")->setValue(3);
    auto *split = Control<QAbstractButton>(w, "btSplitter");
    split->click();
    EXPECT_FALSE(split->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 60000));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("分割完成! 共输出3个文件。")});
    EXPECT_TRUE(split->isEnabled());
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("clip_new(1).mp4"), QStringLiteral("clip_new(2).mp4"),
                           QStringLiteral("clip_new(3).mp4")}));

    // Stopped at once: whatever is left in the folder is a whole piece, nothing half written.
    messages.clear();
    ASSERT_TRUE(QDir(out).removeRecursively() && QDir().mkpath(out));
    split->click();
    Control<QAbstractButton>(w, "btStop")->click();
    EXPECT_TRUE(split->isEnabled());
    QTest::qWait(300);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join('|').toStdString();
    for (const QString &name : QDir(out).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
        QString err;
        RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", out + name, "-f", "null", "-"}, nullptr, &err);
        EXPECT_EQ(err.trimmed(), QString()) << name.toStdString();
    }
    TSourceMedia = SourceMediaRecord();
}

// Exact cuts are a copy's: the check box can be used only while the lossless choice is on.
TEST(MainWindowOutputSettings, TheExactCheckBoxGoesWithTheLosslessChoice)
{
    TFrmMain w;
    w.show();
    w.hide();
    auto *exact = Control<QCheckBox>(w, "chkCopyExact");
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->text(), QStringLiteral("精确到帧"));
    EXPECT_EQ(exact->accessibleName(), QStringLiteral("精确到帧"));
    EXPECT_FALSE(exact->toolTip().isEmpty());
    EXPECT_FALSE(exact->isEnabled()) << "VCD is the first choice";
    // Right after the lossless choice when tabbing.
    EXPECT_EQ(Control<QRadioButton>(w, "RadBtCopy")->nextInFocusChain(), exact);

    const struct {
        const char *button;
        bool enabled;
    } steps[] = {
        {"RadBtCopy", true}, {"RadBtAVI", false}, {"RadBtMPEG", false}, {"RadBtCopy", true},
        {"RadBtSVCD", false}, {"RadBtDVD", false}, {"RadBtWMV", false}, {"RadBtCopy", true}, {"RadBtVCD", false},
    };
    for (const auto &step : steps) {
        Control<QRadioButton>(w, step.button)->click();
        EXPECT_EQ(exact->isEnabled(), step.enabled) << step.button;
    }
    // A split's disabled controls come back as they were.
    Control<QRadioButton>(w, "RadBtCopy")->click();
    w.EnableControl(false);
    w.EnableControl(true);
    EXPECT_TRUE(exact->isEnabled());
}

// With the box checked the window's lossless split cuts exactly: 1 s parts of a clip with a
// keyframe every 2 s, none merged; a video without exact cuts is cut on keyframes and the
// closing message says so.
TEST(MainWindowOutputSettings, ExactLosslessSplitFromTheWindow)
{
    const struct {
        const char *file;
        const char *videoCodec;
        const char *audioCodec;
        int gop;
        QStringList extra;
        QString message;
        int picturesEach;
    } cases[] = {
        {"clip.mp4", "libx264", "aac", 50, {"-bf", "2", "-sc_threshold", "0", "-pix_fmt", "yuv420p"},
         QStringLiteral("分割完成! 共输出3个文件。"), 25},
        {"clip.mpg", "mpeg1video", "mp2", 25, {"-bf", "0", "-f", "mpeg"},
         QStringLiteral("分割完成! 共输出3个文件。\n此视频的编码或格式不能精确到帧，各段从关键帧开始。"), 25},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        MessageRecorder messages;
        TFrmMain w;
        w.show();
        w.hide();
        QTemporaryDir dir;
        const QString clip = dir.filePath(QString::fromLatin1(c.file));
        ClipRecipe clipRecipe;
        clipRecipe.seconds = 3;
        clipRecipe.videoCodec = QString::fromLatin1(c.videoCodec);
        clipRecipe.audioCodec = QString::fromLatin1(c.audioCodec);
        clipRecipe.gop = c.gop;
        clipRecipe.extraOutputArgs = c.extra;
        ASSERT_TRUE(MakeClip(clip, clipRecipe));
        const QString out = dir.path() + QStringLiteral("/out/");
        ASSERT_TRUE(QDir().mkpath(out));
        TSourceMedia = SourceMediaRecord();
        TSourceMedia.FileName = clip;
        TSourceMedia.Duration = w.videoEdit().GetFileDuration(clip);
        TSourceMedia.EndTime = TSourceMedia.Duration;

        Control<QLineEdit>(w, "edtOutput")->setText(out);
        Control<QRadioButton>(w, "RadBtCopy")->click();
        Control<QCheckBox>(w, "chkCopyExact")->setChecked(true);
        Control<QRadioButton>(w, "radBtSplitAver")->click();
        Control<QSpinBox>(w, "snEditSplitNum")->setValue(3);
        Control<QAbstractButton>(w, "btSplitter")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 60000));
        EXPECT_EQ(messages.texts(), QStringList{c.message});
        const QStringList pieces = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        ASSERT_EQ(pieces.size(), 3);
        for (const QString &piece : pieces)
            EXPECT_EQ(PictureChecksums(out + piece).size(), c.picturesEach) << piece.toStdString();
        TSourceMedia = SourceMediaRecord();
    }
}

// Closing the window while a piece renders stops it and leaves no unfinished file.
TEST(MainWindowOutputSettings, ClosingDuringASplit)
{
    MessageRecorder messages;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 3;
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    const QString out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
    {
        TFrmMain w;
        w.show();
        w.hide();
        if (!w.findChild<RenderDriver *>())
            GTEST_SKIP() << "the main window does not hold the render driver yet";
        TSourceMedia = SourceMediaRecord();
        TSourceMedia.FileName = clip;
        TSourceMedia.Duration = w.videoEdit().GetFileDuration(clip);
        TSourceMedia.EndTime = TSourceMedia.Duration;
        Control<QLineEdit>(w, "edtOutput")->setText(out);
        Control<QRadioButton>(w, "RadBtDVD")->click();
        Control<QRadioButton>(w, "radBtSplitAver")->click();
        Control<QAbstractButton>(w, "btSplitter")->click();
        ASSERT_TRUE(w.videoEdit().IsRendering()) << messages.texts().join('|').toStdString();
        w.close();
        EXPECT_FALSE(w.videoEdit().IsRendering());
    }
    QTest::qWait(200);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join('|').toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    TSourceMedia = SourceMediaRecord();
}

} // namespace
} // namespace kc::test
