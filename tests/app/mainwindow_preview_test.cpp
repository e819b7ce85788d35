// The preview of the real main window (the player with null outputs) as people use it:
// loading one source after another, Space, clicks on the track bar, assistive technology.
#include "app/tfrmmain.h"
#include "common/numericfield.h"
#include "common/timeparts.h"
#include "components/movieplayer/tmovieplayer.h"
#include "source/sourceloader.h"
#include "source/sourcemedia.h"
#include "support/clips.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

QTemporaryDir &ClipFolder()
{
    static QTemporaryDir dir;
    return dir;
}

QString Clip(const QString &name, double seconds)
{
    const QString path = ClipFolder().filePath(name);
    if (!QFile::exists(path)) {
        ClipRecipe recipe;
        recipe.seconds = seconds;
        recipe.width = 160;
        recipe.height = 120;
        QString log;
        EXPECT_TRUE(MakeClip(path, recipe, &log)) << log.toStdString();
    }
    return path;
}

class MainWindowPreview : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TSourceMedia = SourceMediaRecord();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        loader = w.findChild<SourceLoader *>();
        ASSERT_NE(loader, nullptr);
        loader->setFileChooser([this] { return chosen; });
        player = w.findChild<TMoviePlayer *>(QStringLiteral("MoviePlayer"));
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(player->UsesNullOutput());
    }
    void TearDown() override { TSourceMedia = SourceMediaRecord(); }

    template <typename T = QWidget>
    T *control(const char *name)
    {
        T *c = w.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void load(const QString &path)
    {
        chosen = path;
        control<QAbstractButton>("btAddFile")->click();
    }
    bool waitForCurTime(double atLeast) const
    {
        return QTest::qWaitFor([&] { return TSourceMedia.CurTime >= atLeast; }, 4000);
    }
    bool pauseShown() { return !control("btPrePause")->isHidden(); }

    MessageRecorder messages;
    TFrmMain w;
    SourceLoader *loader = nullptr;
    TMoviePlayer *player = nullptr;
    QString chosen;
};

TEST_F(MainWindowPreview, LoadingAnotherSourceShowsItAtItsStart)
{
    auto *labCurTime = control<QLabel>("labCurTime");
    auto *trackBar = control<QSlider>("TrackBar");
    const QString first = Clip(QStringLiteral("first.avi"), 3);
    const QString second = Clip(QStringLiteral("second.avi"), 5);
    load(first);
    control<QAbstractButton>("btPrePlay")->click();
    ASSERT_TRUE(waitForCurTime(0.6));
    ASSERT_NE(labCurTime->text(), FormatSeconds(0));

    load(second);
    EXPECT_EQ(player->FileName(), second); // its first picture, not the previous file's
    EXPECT_TRUE(player->IsLoaded());
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_NEAR(player->Position(), 0, 0.05);
    EXPECT_EQ(labCurTime->text(), FormatSeconds(0));
    EXPECT_EQ(TSourceMedia.CurTime, 0);
    EXPECT_EQ(trackBar->value(), 0);
    EXPECT_EQ(trackBar->maximum(), 5);
    QTest::qWait(300);
    EXPECT_EQ(labCurTime->text(), FormatSeconds(TSourceMedia.CurTime));

    // What the label says is what taking the start takes.
    control<QAbstractButton>("btSetEndTime")->click();
    for (const char *name : {"edtEndHour", "edtEndMin", "edtEndSecond", "edtEndMSec"})
        EXPECT_EQ(control<NumericField>(name)->valueOrZero(), 0) << name;
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join('|').toStdString();
}

TEST_F(MainWindowPreview, SpacePlaysAndPausesUnlessATextFieldHasTheFocus)
{
    load(Clip(QStringLiteral("first.avi"), 3));
    const struct {
        const char *focus;
        bool toggles;
    } cases[] = {
        {"TrackBar", true},      {"MoviePlayer", true},     {nullptr, true}, // nullptr: the window itself
        {"EditSplitTime", false}, {"edtStartSecond", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.focus ? c.focus : "window");
        control<QAbstractButton>("btPreStop")->click();
        if (c.focus && QLatin1String(c.focus) == QLatin1String("EditSplitTime"))
            control<QAbstractButton>("radBtSplitTime")->click();
        else
            control<QAbstractButton>("radBtSplitCus")->click();
        QWidget *target = c.focus ? control(c.focus) : &w;
        target->setFocus();
        ASSERT_TRUE(target->hasFocus());
        QTest::keyClick(target, Qt::Key_Space);
        EXPECT_EQ(player->IsPlaying(), c.toggles);
        EXPECT_EQ(pauseShown(), c.toggles);
        if (!c.toggles)
            continue;
        QTest::keyClick(target, Qt::Key_Space);
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_FALSE(pauseShown());
    }
    // Typing a blank into a field leaves the field as it was.
    EXPECT_EQ(control<QLineEdit>("edtStartSecond")->text(), QStringLiteral("0"));
    // While a split runs the preview is locked, Space included.
    w.EnableControl(false);
    w.setFocus();
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_FALSE(player->IsPlaying());
    w.EnableControl(true);
}

TEST_F(MainWindowPreview, AClickedPlayButtonLeavesSpaceToThePreview)
{
    load(Clip(QStringLiteral("first.avi"), 3));
    control("TrackBar")->setFocus();
    QTest::mouseClick(control("btPrePlay"), Qt::LeftButton);
    EXPECT_TRUE(player->IsPlaying());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_FALSE(pauseShown());
}

TEST_F(MainWindowPreview, SpaceAfterAddPlaysTheNewFile)
{
    auto *add = control<QAbstractButton>("btAddFile");
    add->setFocus();
    load(Clip(QStringLiteral("first.avi"), 3));
    chosen = Clip(QStringLiteral("second.avi"), 5); // what a second dialog would give
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(TSourceMedia.FileName, Clip(QStringLiteral("first.avi"), 3));
}

TEST_F(MainWindowPreview, AClickOnTheTrackBarJumpsThere)
{
    load(Clip(QStringLiteral("second.avi"), 5));
    auto *trackBar = control<QSlider>("TrackBar");
    ASSERT_EQ(trackBar->maximum(), 5);
    const QPoint at(trackBar->width() * 2 / 5, trackBar->height() / 2);
    QTest::mouseClick(trackBar, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_NEAR(trackBar->value(), 2, 1) << "not a page step towards the click";
    const int chosen = trackBar->value();
    ASSERT_TRUE(waitForCurTime(chosen - 0.1));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_LT(TSourceMedia.CurTime, chosen + 0.8);
}

TEST_F(MainWindowPreview, AssistiveTechnologySeeksWithTheTrackBarsValue)
{
    load(Clip(QStringLiteral("second.avi"), 5));
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(control("TrackBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::Slider);
    EXPECT_EQ(bar->text(QAccessible::Name), QStringLiteral("播放进度"));
    QAccessibleValueInterface *value = bar->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->maximumValue().toInt(), 5);
    value->setCurrentValue(3);
    ASSERT_TRUE(waitForCurTime(2.9));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_LT(TSourceMedia.CurTime, 3.8);
    EXPECT_EQ(value->currentValue().toInt(), int(TSourceMedia.CurTime));
}

} // namespace
} // namespace kc::test
