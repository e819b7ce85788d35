// Source loading and the preview transport: the real handlers driving the real player
// (null outputs) on generated clips, with a small set of the main window's controls.

#include "common/mediainfo.h"
#include "common/numericfield.h"
#include "common/timeparts.h"
#include "components/movieplayer/tmovieplayer.h"
#include "components/videoedit/tvideoedit.h"
#include "source/previewtransport.h"
#include "source/sourceloader.h"
#include "source/sourcemedia.h"
#include "support/clips.h"
#include "support/messagerecorder.h"
#include "support/realworldclips.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace kc;
using kc::test::MessageRecorder;

namespace {

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString clipPath(const QString &name, double seconds = 3.0)
{
    const QString path = tempDir().filePath(name);
    if (!QFile::exists(path)) {
        kc::test::ClipRecipe clipRecipe;
        clipRecipe.seconds = seconds;
        QString log;
        EXPECT_TRUE(kc::test::MakeClip(path, clipRecipe, &log)) << log.toStdString();
    }
    return path;
}

QString garbagePath()
{
    const QString path = tempDir().filePath(QStringLiteral("garbage.avi"));
    QFile f(path);
    if (!f.exists() && f.open(QIODevice::WriteOnly)) {
        QByteArray junk(32 * 1024, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919) >> 3);
        f.write(junk);
    }
    return path;
}

// The preview's part of the main window.
class SourceUiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TSourceMedia = SourceMediaRecord();
        LoadMediaInfo(QStringLiteral("MediaInfo.dll"));

        auto button = [this](const char *name) {
            auto *b = new QPushButton(&window);
            b->setObjectName(QLatin1String(name));
            return b;
        };
        btAddFile = button("btAddFile");
        btPrePlay = button("btPrePlay");
        btPrePause = button("btPrePause");
        btPrePause->hide();
        btPreStop = button("btPreStop");
        TrackBar = new QSlider(Qt::Horizontal, &window);
        TrackBar->setRange(0, 200);
        TrackBar->resize(200, 20);
        labCurTime = new QLabel(QStringLiteral("0.0"), &window);
        labTotalTime = new QLabel(QStringLiteral("0.0"), &window);
        NumericField **fields[] = {&range.edtStartHour, &range.edtStartMin, &range.edtStartSecond, &range.edtStartMSec,
                                   &range.edtEndHour,   &range.edtEndMin,   &range.edtEndSecond,   &range.edtEndMSec};
        for (NumericField **f : fields) {
            *f = new NumericField(&window);
            (*f)->setMaximum(9999);
        }
        player = new TMoviePlayer(&window);

        transport = std::make_unique<PreviewTransport>(
            PreviewControls{btPrePlay, btPrePause, btPreStop, TrackBar, labCurTime}, player);
        loader = std::make_unique<SourceLoader>(SourceLoadControls{btAddFile, labTotalTime, range}, &videoEdit,
                                                transport.get(), &window);
        loader->setFileChooser([this] { return chosen; });
    }
    void TearDown() override { ResetMediaInfoBindingForTests(); }

    void load(const QString &path)
    {
        chosen = path;
        btAddFile->click();
    }
    bool waitForCurTime(double atLeast, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return TSourceMedia.CurTime >= atLeast; }, ms);
    }
    QList<int> endFields() const
    {
        return {range.edtEndHour->valueOrZero(), range.edtEndMin->valueOrZero(), range.edtEndSecond->valueOrZero(),
                range.edtEndMSec->valueOrZero()};
    }
    QList<int> startFields() const
    {
        return {range.edtStartHour->valueOrZero(), range.edtStartMin->valueOrZero(),
                range.edtStartSecond->valueOrZero(), range.edtStartMSec->valueOrZero()};
    }
    // Play shown, Pause hidden: the row's idle look.
    bool playShown() const { return !btPrePlay->isHidden() && btPrePause->isHidden(); }
    void mouseSeek(Qt::MouseButton button, int second)
    {
        QTest::mousePress(TrackBar, button, Qt::NoModifier, QPoint(2, 10));
        TrackBar->setSliderPosition(second); // the thumb dragged there
        QTest::mouseRelease(TrackBar, button, Qt::NoModifier, QPoint(2, 10));
    }

    MessageRecorder messages;
    QWidget window;
    QPushButton *btAddFile, *btPrePlay, *btPrePause, *btPreStop;
    QSlider *TrackBar;
    QLabel *labCurTime, *labTotalTime;
    RangeFields range;
    TMoviePlayer *player;
    TVideoEdit videoEdit;
    std::unique_ptr<PreviewTransport> transport;
    std::unique_ptr<SourceLoader> loader;
    QString chosen;
};

// --- loading ---------------------------------------------------------------------------

TEST_F(SourceUiTest, LoadShowsTheTotalTimeResetsTheRangeAndStopsThePreview)
{
    labCurTime->setText(QStringLiteral("   12.3"));
    TSourceMedia.CurTime = 12.3;
    TSourceMedia.StartTime = 1;
    btPrePlay->setEnabled(false);
    const QString path = clipPath(QStringLiteral("clip.avi"));
    load(path);

    EXPECT_TRUE(messages.entries().isEmpty()) << messages.last().toStdString();
    EXPECT_EQ(TSourceMedia.FileName, path);
    EXPECT_NEAR(TSourceMedia.Duration, 3.0, 0.1);
    EXPECT_EQ(labTotalTime->text(), FormatSeconds(TSourceMedia.Duration));
    EXPECT_EQ(labTotalTime->text().size(), 7);
    EXPECT_EQ(TSourceMedia.CurTime, 0);
    EXPECT_EQ(TSourceMedia.StartTime, 0);
    EXPECT_EQ(TSourceMedia.EndTime, TSourceMedia.Duration);
    EXPECT_EQ(startFields(), (QList<int>{0, 0, 0, 0}));
    const TimeParts end = DecodeSeconds(TSourceMedia.Duration);
    EXPECT_EQ(endFields(), (QList<int>{end.hour, end.minute, end.second, end.msec}));
    EXPECT_TRUE(btPrePlay->isEnabled());
    EXPECT_TRUE(playShown());
    EXPECT_EQ(transport->pausedFlag(), 0);
    EXPECT_EQ(TrackBar->value(), 0);
    // The preview shows the new file at its start, and the time label says so.
    EXPECT_EQ(labCurTime->text(), FormatSeconds(0));
    EXPECT_EQ(player->FileName(), path);
    EXPECT_TRUE(player->IsLoaded());
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(TrackBar->maximum(), int(player->Duration()));
}

TEST_F(SourceUiTest, AFileNobodyCanMeasureIsReportedAndStillBecomesTheSource)
{
    for (bool mediaInfoBound : {true, false}) {
        SCOPED_TRACE(mediaInfoBound ? "MediaInfo bound" : "MediaInfo not bound");
        if (!mediaInfoBound)
            ResetMediaInfoBindingForTests();
        messages.clear();
        load(clipPath(QStringLiteral("clip.avi")));
        btPrePlay->setEnabled(false);
        load(garbagePath());
        ASSERT_EQ(messages.entries().size(), 1);
        EXPECT_EQ(messages.entries().first().kind, MessageKind::Info);
        EXPECT_EQ(messages.last(), QStringLiteral("无法识别的视频文件!"));
        EXPECT_EQ(TSourceMedia.FileName, garbagePath());
        EXPECT_EQ(TSourceMedia.Duration, 0);
        EXPECT_EQ(labTotalTime->text(), QStringLiteral("    0.0"));
        EXPECT_EQ(startFields() + endFields(), (QList<int>{0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(btPrePlay->isEnabled());
    }
}

// MediaInfo gives a sound file a play time; it has no picture to split all the same.
TEST_F(SourceUiTest, ASoundOnlyFileIsReportedLikeAnUnusableSource)
{
    using kc::test::RealWorld;
    for (RealWorld kind : {RealWorld::Mp3SoundOnly, RealWorld::WavSoundOnly}) {
        const QString path = tempDir().filePath(QStringLiteral("sound.") + kc::test::RealWorldExtension(kind));
        const kc::test::RealWorldClip made = kc::test::MakeRealWorldClip(kind, path);
        if (!made.skipReason.isEmpty())
            GTEST_SKIP() << made.skipReason.toStdString();
        ASSERT_TRUE(made.ok) << made.log.toStdString();
        SCOPED_TRACE(path.toStdString());
        messages.clear();
        load(path);
        EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("无法识别的视频文件!")});
        EXPECT_EQ(TSourceMedia.FileName, path);
        EXPECT_EQ(TSourceMedia.Duration, 0);
        EXPECT_EQ(labTotalTime->text(), QStringLiteral("    0.0"));
    }
}

TEST_F(SourceUiTest, CancellingTheDialogChangesNothingAndPlaybackGoesOn)
{
    const QString path = clipPath(QStringLiteral("clip.avi"));
    load(path);
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(0.2));
    const QString total = labTotalTime->text();
    load(QString());
    EXPECT_EQ(TSourceMedia.FileName, path);
    EXPECT_EQ(labTotalTime->text(), total);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_FALSE(btPrePause->isHidden());
    EXPECT_TRUE(messages.entries().isEmpty());
}

TEST_F(SourceUiTest, APathWithBlanksAroundItIsStoredWithout)
{
    const QString path = clipPath(QStringLiteral("clip.avi"));
    load(QStringLiteral("  ") + path + QStringLiteral(" \t"));
    EXPECT_EQ(TSourceMedia.FileName, path);
    EXPECT_GT(TSourceMedia.Duration, 0);
}

TEST_F(SourceUiTest, LoadingWhilePlayingStopsAndTheNextPlayOpensTheNewFile)
{
    const QString first = clipPath(QStringLiteral("clip.avi"));
    const QString second = clipPath(QStringLiteral("long.avi"), 5.0);
    load(first);
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(0.5));
    load(second);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_TRUE(playShown());
    EXPECT_EQ(TrackBar->value(), 0);
    EXPECT_EQ(TrackBar->maximum(), 5);
    EXPECT_EQ(labCurTime->text(), FormatSeconds(0));
    EXPECT_EQ(TSourceMedia.CurTime, 0);
    EXPECT_EQ(player->FileName(), second);
    EXPECT_NEAR(player->Position(), 0, 0.05);
    // No late report of the previous file moves the label away from the record.
    QTest::qWait(300);
    EXPECT_EQ(labCurTime->text(), FormatSeconds(TSourceMedia.CurTime));

    btPrePlay->click();
    EXPECT_EQ(player->FileName(), second);
    EXPECT_EQ(TrackBar->maximum(), 5);
}

// The real dialog: the descriptions as given, patterns matched whatever the case, and a
// typed name of any supported container lets the dialog open it.
TEST_F(SourceUiTest, TheOpenDialogShowsEveryFormatAndMatchesPatternsIgnoringCase)
{
    QTemporaryDir dir;
    const QString clip = clipPath(QStringLiteral("clip.avi"));
    const QStringList videos{"A.AVI", "b.Mov", "d.vob", "e.QT", "f.mp4", "g.MKV", "h.ts", "i.m2ts",
                             "j.webm", "k.flv", "l.3gp", "m.M4V", "n.mts"};
    for (const QString &name : videos + QStringList{"c.txt"})
        ASSERT_TRUE(QFile::copy(clip, dir.filePath(name)));
    loader->setFileChooser(nullptr);
    QFileDialog *dlg = loader->OpenDlg();
    dlg->setDirectory(dir.path());

    QStringList shownFilters;
    QStringList listed;
    QStringList refusedNames;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        QFileDialog *open = dlg;
        wasModal = open->isVisible() && open->isModal();
        // Whatever fails below, the dialog must not stay open.
        auto closeIt = qScopeGuard([open] { if (open->isVisible()) open->reject(); });
        EXPECT_EQ(open->objectName(), QStringLiteral("OpenDlg"));
        auto *types = open->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i)
            shownFilters << types->itemText(i);
        EXPECT_EQ(types->currentIndex(), 0);
        auto *view = open->findChild<QListView *>(QStringLiteral("listView"));
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 3000));
        QTest::qWait(100);
        for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r) {
            const QModelIndex index = view->model()->index(r, 0, view->rootIndex());
            if (index.flags() & Qt::ItemIsEnabled)
                listed << index.data().toString();
        }
        // What the user types into the name field: the Open button stays usable.
        auto *name = open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        auto *buttons = open->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        for (const QString &typed : videos) {
            name->setText(typed);
            if (!buttons->button(QDialogButtonBox::Open)->isEnabled())
                refusedNames << typed;
        }
        name->setText(QStringLiteral("A.AVI"));
        static_cast<QDialog *>(open)->accept(); // QFileDialog's own accept() is protected
    });
    btAddFile->click();

    EXPECT_TRUE(wasModal);
    ASSERT_FALSE(shownFilters.isEmpty());
    EXPECT_EQ(shownFilters.first(),
              QStringLiteral("All Support Format(*.avi;*.mpg;*.mpeg;*.mpe;*.dat;*.wmv;*.asf;*.mov;*.qt;*.rm;*.rmvb;"
                             "*.vob;*.mp4;*.m4v;*.mkv;*.ts;*.m2ts;*.mts;*.webm;*.flv;*.3gp)"));
    EXPECT_EQ(shownFilters.mid(1), (QStringList{
                                       "AVI File(*.avi)",
                                       "MPEG File(*.mpg;*.mpeg;*.mpe)",
                                       "DAT File(*.dat)",
                                       "Media Player File(*.wmv;*.asf)",
                                       "Quick Time File(*.mov;*.qt)",
                                       "Real Media File(*.rm;*.rmvb)",
                                       "DVD VOB File(*.vob)",
                                       "MP4 File(*.mp4;*.m4v)",
                                       "Matroska File(*.mkv)",
                                       "MPEG-TS File(*.ts;*.m2ts;*.mts)",
                                       "WebM File(*.webm)",
                                       "Flash Video File(*.flv)",
                                       "3GP File(*.3gp)",
                                   }));
    listed.sort();
    QStringList expectedListed = videos;
    expectedListed.sort();
    EXPECT_EQ(listed, expectedListed);
    EXPECT_TRUE(refusedNames.isEmpty()) << refusedNames.join(' ').toStdString();
    EXPECT_EQ(TSourceMedia.FileName, dir.filePath(QStringLiteral("A.AVI")));
}

// --- transport -------------------------------------------------------------------------

TEST_F(SourceUiTest, PlayWithoutASourceDoesNothing)
{
    btPrePlay->click();
    EXPECT_TRUE(playShown());
    EXPECT_TRUE(player->FileName().isEmpty());
    EXPECT_EQ(TrackBar->maximum(), 200);
}

TEST_F(SourceUiTest, PlayOpensTheFileAndPositionReportsReachTheLabelAndTheRecord)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    EXPECT_EQ(player->FileName(), TSourceMedia.FileName);
    EXPECT_EQ(TrackBar->maximum(), int(player->Duration()));
    EXPECT_FALSE(playShown());
    EXPECT_FALSE(btPrePause->isHidden());
    EXPECT_EQ(transport->pausedFlag(), 0);
    ASSERT_TRUE(waitForCurTime(1.1));
    EXPECT_EQ(labCurTime->text(), FormatSeconds(TSourceMedia.CurTime));
    EXPECT_EQ(TrackBar->value(), int(TSourceMedia.CurTime));
    EXPECT_EQ(transport->thumbBusyFlag(), 0);
}

TEST_F(SourceUiTest, PositionReportsMoveTheThumbInWholeSecondsUnlessItIsBusy)
{
    const struct {
        double report;
        int busy;
        int thumb;
        const char *label;
    } cases[] = {
        {59.96, 0, 59, "   60.0"},
        {125.9, 0, 125, "  125.9"},
        {250.0, 0, 200, "  250.0"}, // beyond the maximum: the thumb stays in range
        {42.0, 1, 7, "   42.0"},    // a report while the thumb is being moved leaves it
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.report);
        TrackBar->setValue(7);
        TrackBar->setProperty("tag", c.busy);
        transport->MoviePlayerPlaying(c.report, QString());
        EXPECT_EQ(TrackBar->value(), c.thumb);
        EXPECT_EQ(TSourceMedia.CurTime, c.report);
        EXPECT_EQ(labCurTime->text(), QLatin1String(c.label));
        EXPECT_EQ(transport->thumbBusyFlag(), c.busy);
    }
}

TEST_F(SourceUiTest, AReportWhileTheMouseHoldsTheThumbLeavesItWhereTheUserPutIt)
{
    QTest::mousePress(TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 10));
    TrackBar->setSliderPosition(30);
    transport->MoviePlayerPlaying(12.0, QString());
    EXPECT_EQ(TrackBar->sliderPosition(), 30);
    EXPECT_EQ(TSourceMedia.CurTime, 12.0);
    QTest::mouseRelease(TrackBar, Qt::LeftButton, Qt::NoModifier, QPoint(2, 10));
    transport->MoviePlayerPlaying(13.0, QString());
    EXPECT_EQ(TrackBar->value(), 13);
}

TEST_F(SourceUiTest, PauseThenPlayResumesWithoutReopening)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(0.6));
    btPrePause->click();
    EXPECT_EQ(transport->pausedFlag(), 1);
    EXPECT_TRUE(playShown());
    QTest::qWait(300);
    const double held = TSourceMedia.CurTime;
    EXPECT_NEAR(player->Position(), held, 0.2);
    TrackBar->setMaximum(77); // a reopening would set it back to the file's length

    btPrePlay->click();
    EXPECT_EQ(transport->pausedFlag(), 1);
    EXPECT_FALSE(btPrePause->isHidden());
    EXPECT_EQ(TrackBar->maximum(), 77);
    ASSERT_TRUE(waitForCurTime(held + 0.3));
    EXPECT_TRUE(player->IsPlaying());
}

TEST_F(SourceUiTest, StopKeepsTheLastPositionAndTheNextPlayStartsOver)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(1.0));
    btPrePause->click(); // the flag is 1 now: Stop must clear it
    btPreStop->click();
    EXPECT_EQ(transport->pausedFlag(), 0);
    EXPECT_TRUE(playShown());
    EXPECT_EQ(TrackBar->value(), 0);
    const double last = TSourceMedia.CurTime;
    EXPECT_GE(last, 1.0);
    EXPECT_EQ(labCurTime->text(), FormatSeconds(last));
    QTest::qWait(300);
    EXPECT_EQ(TSourceMedia.CurTime, last);

    TrackBar->setMaximum(77);
    btPrePlay->click();
    EXPECT_EQ(TrackBar->maximum(), int(player->Duration()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return TSourceMedia.CurTime < last; }, 3000));
    EXPECT_LT(TSourceMedia.CurTime, 0.6);
}

TEST_F(SourceUiTest, MouseOnTheTrackBarSeeksAndPlaysWithoutTouchingTheRow)
{
    enum State { Playing, Paused, Stopped };
    const struct {
        const char *name;
        State state;
        Qt::MouseButton button;
        int paused;
        bool playShownAfter;
    } cases[] = {
        {"playing, left button", Playing, Qt::LeftButton, 0, false},
        {"paused, left button", Paused, Qt::LeftButton, 1, true},
        {"stopped, right button", Stopped, Qt::RightButton, 0, true},
    };
    load(clipPath(QStringLiteral("clip.avi")));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        btPreStop->click();
        btPrePlay->click();
        ASSERT_TRUE(waitForCurTime(0.2));
        if (c.state == Paused)
            btPrePause->click();
        else if (c.state == Stopped)
            btPreStop->click();
        QTest::qWait(100);
        TSourceMedia.CurTime = 0;

        mouseSeek(c.button, 2);
        EXPECT_EQ(transport->pausedFlag(), c.paused);
        EXPECT_EQ(playShown(), c.playShownAfter);
        ASSERT_TRUE(waitForCurTime(1.9));
        EXPECT_TRUE(player->IsPlaying());
        EXPECT_LT(TSourceMedia.CurTime, 2.6);
    }
    // After the seek from Stopped, Play still opens the file afresh from its start.
    btPrePlay->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return TSourceMedia.CurTime < 1.0; }, 3000));
}

TEST_F(SourceUiTest, KeyboardMovesOfTheTrackBarDoNotSeek)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(0.3));
    TrackBar->setFocus();
    QTest::keyClick(TrackBar, Qt::Key_End);
    QTest::keyClick(TrackBar, Qt::Key_PageUp);
    EXPECT_NE(TrackBar->value(), 0);
    QTest::qWait(300);
    EXPECT_LT(player->Position(), 1.5);
    // The next report puts the thumb back on the playing second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return TrackBar->value() == int(TSourceMedia.CurTime); }, 2000));
    EXPECT_LE(TrackBar->value(), 1);
}

TEST_F(SourceUiTest, CompletionResetsTheRowAndAFreshPlayCanBePausedAndStoppedAgain)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    player->SetPos(2.3); // shorten the wait for the end
    ASSERT_TRUE(QTest::qWaitFor([&] { return !btPreStop->isEnabled(); }, 4000));
    EXPECT_TRUE(btPrePlay->isEnabled());
    EXPECT_TRUE(playShown());
    EXPECT_FALSE(btPrePause->isEnabled());
    EXPECT_EQ(TrackBar->value(), 0);
    EXPECT_EQ(transport->pausedFlag(), 0);

    TrackBar->setMaximum(77);
    TSourceMedia.CurTime = 0;
    btPrePlay->click();
    EXPECT_EQ(TrackBar->maximum(), int(player->Duration())); // opened afresh
    EXPECT_TRUE(btPrePause->isEnabled());
    EXPECT_TRUE(btPreStop->isEnabled());
    EXPECT_FALSE(btPrePause->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->IsPlaying() && TSourceMedia.CurTime > 0.2; }, 3000));
    EXPECT_LT(TSourceMedia.CurTime, 1.0);
}

TEST_F(SourceUiTest, AfterAPausedAndResumedPlaybackEndsPlayOnlyResumes)
{
    load(clipPath(QStringLiteral("clip.avi")));
    btPrePlay->click();
    ASSERT_TRUE(waitForCurTime(0.2));
    btPrePause->click();
    player->SetPos(2.4);
    btPrePlay->click(); // resume: the flag stays 1
    ASSERT_TRUE(QTest::qWaitFor([&] { return !btPreStop->isEnabled(); }, 4000));
    EXPECT_EQ(transport->pausedFlag(), 1);

    TrackBar->setMaximum(77);
    TSourceMedia.CurTime = 0;
    btPrePlay->click();
    EXPECT_EQ(TrackBar->maximum(), 77); // FileName was not assigned again
    EXPECT_TRUE(btPrePause->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->IsPlaying() && TSourceMedia.CurTime > 0.1; }, 3000));
    EXPECT_LT(TSourceMedia.CurTime, 1.0); // the player starts the finished file over
}

} // namespace
