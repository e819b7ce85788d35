// The preview player on generated clips, with null video output (offscreen platform).

#include "components/movieplayer/tmovieplayer.h"
#include "support/clips.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

using kc::TMoviePlayer;
using kc::test::ClipRecipe;
using kc::test::MakeClip;
using kc::test::RunFfmpeg;
using kc::test::RunTool;

namespace {

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString makeClip(const QString &name, const ClipRecipe &clipRecipe = ClipRecipe())
{
    const QString path = tempDir().filePath(name);
    QString log;
    EXPECT_TRUE(MakeClip(path, clipRecipe, &log)) << log.toStdString();
    return path;
}

ClipRecipe withArgs(QStringList args, QString videoCodec = QStringLiteral("mpeg2video"),
                  QString audioCodec = QStringLiteral("mp2"))
{
    ClipRecipe clipRecipe;
    clipRecipe.videoCodec = videoCodec;
    clipRecipe.audioCodec = audioCodec;
    clipRecipe.extraOutputArgs = args;
    return clipRecipe;
}

// Everything the player raised, in order.
class Reports : public QObject
{
public:
    explicit Reports(TMoviePlayer &player)
    {
        connect(&player, &TMoviePlayer::OnPlaying, this, [this](double t, const QString &text) {
            positions << t;
            lastText = text;
        });
        connect(&player, &TMoviePlayer::OnCompleted, this, [this] { ++completed; });
    }
    bool waitForPositions(int count, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return positions.size() >= count; }, ms);
    }
    QList<double> positions;
    QString lastText;
    int completed = 0;
};

TEST(MoviePlayer, RunsWithNullOutputsUnderTheOffscreenPlatform)
{
    TMoviePlayer player;
    EXPECT_TRUE(player.UsesNullOutput());
    EXPECT_EQ(player.MpvProperty(QStringLiteral("vo")), QStringLiteral("null"));
    EXPECT_EQ(player.MpvProperty(QStringLiteral("ao")), QStringLiteral("null"));
}

// Opening gives the length at once, holds the first frame and reports nothing yet.
TEST(MoviePlayer, OpensPausedAtTheStartWithTheDurationAtOnce)
{
    struct Case {
        const char *name;
        ClipRecipe clipRecipe;
    };
    const Case cases[] = {
        {"clip.avi", ClipRecipe()},
        {"clip.mkv", withArgs({}, QStringLiteral("mpeg4"), QStringLiteral("libmp3lame"))},
        // Program streams whose clock starts late: positions must still count from 0.
        {"late.mpg", withArgs({"-f", "vob", "-output_ts_offset", "10"})},
        {"late.vob", withArgs({"-f", "vob", "-output_ts_offset", "36000"})},
        {"vcd.dat", withArgs({"-f", "vcd", "-output_ts_offset", "5"}, QStringLiteral("mpeg1video"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = makeClip(QString::fromLatin1(c.name), c.clipRecipe);
        TMoviePlayer player;
        Reports reports(player);
        player.setFileName(path);
        EXPECT_EQ(player.FileName(), path);
        EXPECT_TRUE(player.IsLoaded()) << player.LastError().toStdString();
        EXPECT_NEAR(player.Duration(), 3.0, 0.25);
        EXPECT_NEAR(player.Position(), 0.0, 0.1);
        QTest::qWait(200);
        EXPECT_TRUE(reports.positions.isEmpty());
        EXPECT_FALSE(player.IsPlaying());
    }
}

TEST(MoviePlayer, AFileItCannotOpenGivesDurationZeroWithoutHanging)
{
    const QString garbage = tempDir().filePath(QStringLiteral("garbage.avi"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray junk(64 * 1024, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919) >> 3);
        f.write(junk);
    }
    const QString empty = tempDir().filePath(QStringLiteral("empty.mpg"));
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString good = makeClip(QStringLiteral("good.avi"));
    for (const QString &path : {garbage, empty, tempDir().filePath(QStringLiteral("missing.avi"))}) {
        SCOPED_TRACE(path.toStdString());
        TMoviePlayer player;
        Reports reports(player);
        player.setFileName(good);      // something open before: it must not linger
        QElapsedTimer clock;
        clock.start();
        player.setFileName(path);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(player.Duration(), 0.0);
        EXPECT_FALSE(player.IsLoaded());
        EXPECT_FALSE(player.LastError().isEmpty());
        player.Play();
        player.SetPos(1);
        EXPECT_FALSE(player.IsPlaying());
        QTest::qWait(300);
        EXPECT_TRUE(reports.positions.isEmpty());
        EXPECT_EQ(reports.completed, 0);
    }
}

TEST(MoviePlayer, PlayReportsRisingPositionsFromZeroSeveralTimesASecond)
{
    const struct {
        const char *name;
        ClipRecipe clipRecipe;
    } cases[] = {
        {"clip.avi", ClipRecipe()},
        {"late.vob", withArgs({"-f", "vob", "-output_ts_offset", "10"})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TMoviePlayer player;
        Reports reports(player);
        player.setFileName(makeClip(QString::fromLatin1(c.name), c.clipRecipe));
        player.Play();
        EXPECT_TRUE(player.IsPlaying());
        QTest::qWait(800);
        ASSERT_GE(reports.positions.size(), 4);
        EXPECT_LT(reports.positions.first(), 0.3);
        EXPECT_GT(reports.positions.last(), 0.3);
        EXPECT_LT(reports.positions.last(), 1.5);
        for (int i = 1; i < reports.positions.size(); ++i)
            EXPECT_GE(reports.positions[i], reports.positions[i - 1]);
        EXPECT_TRUE(reports.lastText.startsWith(QStringLiteral("00:00:0"))) << reports.lastText.toStdString();
    }
}

TEST(MoviePlayer, PauseHoldsThePositionAndPlayResumesFromIt)
{
    TMoviePlayer player;
    Reports reports(player);
    player.setFileName(makeClip(QStringLiteral("clip.avi")));
    player.Play();
    QTest::qWait(700);
    player.Pause();
    EXPECT_FALSE(player.IsPlaying());
    QTest::qWait(150);
    const double held = player.Position();
    EXPECT_GT(held, 0.3);
    const int reported = reports.positions.size();
    QTest::qWait(400);
    EXPECT_EQ(reports.positions.size(), reported);
    EXPECT_NEAR(player.Position(), held, 0.01);

    player.Play();
    ASSERT_TRUE(reports.waitForPositions(reported + 1));
    EXPECT_GE(reports.positions[reported], held - 0.05);
}

TEST(MoviePlayer, SetPosMovesWhereTheNextPlayStarts)
{
    const struct {
        const char *state;
        double pos;
    } cases[] = {{"opened", 2.0}, {"paused", 1.0}, {"stopped", 2.0}};
    const QString path = makeClip(QStringLiteral("clip.avi"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state);
        TMoviePlayer player;
        Reports reports(player);
        player.setFileName(path);
        if (qstrcmp(c.state, "opened") != 0) {
            player.Play();
            ASSERT_TRUE(reports.waitForPositions(3));
            if (qstrcmp(c.state, "paused") == 0)
                player.Pause();
            else
                player.Stop();
        }
        reports.positions.clear();
        player.SetPos(c.pos);
        player.Play();
        ASSERT_TRUE(reports.waitForPositions(1));
        EXPECT_NEAR(reports.positions.first(), c.pos, 0.15);
    }
}

TEST(MoviePlayer, StopGoesBackToTheStartAndReportsNothingMore)
{
    TMoviePlayer player;
    Reports reports(player);
    const QString path = makeClip(QStringLiteral("clip.avi"));
    player.setFileName(path);
    player.Play();
    QTest::qWait(600);
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    const int reported = reports.positions.size();
    QTest::qWait(300);
    EXPECT_EQ(reports.positions.size(), reported);
    EXPECT_NEAR(player.Position(), 0.0, 0.05);
    EXPECT_EQ(player.FileName(), path);
    EXPECT_TRUE(player.IsLoaded());
}

TEST(MoviePlayer, CompletedIsRaisedOnceAndPlayThenStartsOver)
{
    TMoviePlayer player;
    Reports reports(player);
    player.setFileName(makeClip(QStringLiteral("clip.avi")));
    player.SetPos(2.4);
    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.completed > 0; }, 4000));
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_GT(reports.positions.last(), 2.5);
    QTest::qWait(400);
    EXPECT_EQ(reports.completed, 1);

    reports.positions.clear();
    player.Play();
    ASSERT_TRUE(reports.waitForPositions(2));
    EXPECT_LT(reports.positions.first(), 0.5);
    // Reopening the file after its end works the same way.
    player.SetPos(2.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.completed == 2; }, 4000));
}

TEST(MoviePlayer, ReassigningTheFileStartsItOverPaused)
{
    TMoviePlayer player;
    Reports reports(player);
    const QString path = makeClip(QStringLiteral("clip.avi"));
    player.setFileName(path);
    player.Play();
    QTest::qWait(700);
    player.setFileName(path);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_NEAR(player.Position(), 0.0, 0.05);
    const int reported = reports.positions.size();
    QTest::qWait(300);
    EXPECT_EQ(reports.positions.size(), reported);
}

TEST(MoviePlayer, DestroyingItWhilePlayingIsClean)
{
    const QString path = makeClip(QStringLiteral("clip.avi"));
    for (int round = 0; round < 2; ++round) {
        auto player = std::make_unique<TMoviePlayer>();
        player->setFileName(path);
        player->Play();
        QTest::qWait(300);
        player.reset();
        QTest::qWait(100);   // queued wake-ups of the destroyed player must go nowhere
    }
}

// The sound: mpv writes what it would play into a WAV file; a tone must be in it.
TEST(MoviePlayer, PlaysTheSoundTrack)
{
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 1.0;
    const QString clip = makeClip(QStringLiteral("tone.avi"), clipRecipe);
    const QString wav = tempDir().filePath(QStringLiteral("out.wav"));
    {
        TMoviePlayer player({{QStringLiteral("ao"), QStringLiteral("pcm")},
                             {QStringLiteral("ao-pcm-file"), wav},
                             {QStringLiteral("audio-format"), QStringLiteral("s16")}});
        Reports reports(player);
        player.setFileName(clip);
        player.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return reports.completed > 0; }, 5000));
        EXPECT_EQ(player.MpvProperty(QStringLiteral("audio-codec-name")), QStringLiteral("mp3"));
    }
    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_GT(bytes.size(), 44 + 44100);   // at least a quarter second of 16-bit stereo
    const auto *samples = reinterpret_cast<const qint16 *>(bytes.constData() + 44);
    const int count = int((bytes.size() - 44) / 2);
    int peak = 0;
    for (int i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    EXPECT_GT(peak, 3000);
}

// What ffmpeg's interlace detector makes of pictures: how many look like two fields woven
// together and how many like one moment.
struct FieldCount {
    int woven = -1;
    int whole = -1;
};

FieldCount DetectFields(const QStringList &input)
{
    QString log;
    RunTool(QStringLiteral("ffmpeg"), QStringList{"-nostats", "-hide_banner"} + input + QStringList{"-vf", "idet", "-f", "null", "-"},
            nullptr, &log);
    const int at = log.lastIndexOf(QStringLiteral("Multi frame detection:"));
    FieldCount count;
    if (at < 0)
        return count;
    const QStringList words = log.mid(at).section('\n', 0, 0).simplified().split(' ');
    auto valueAfter = [&](const QString &label) {
        const int i = words.indexOf(label);
        return i >= 0 && i + 1 < words.size() ? words.at(i + 1).toInt() : -1;
    };
    count.woven = valueAfter(QStringLiteral("TFF:")) + valueAfter(QStringLiteral("BFF:"));
    count.whole = valueAfter(QStringLiteral("Progressive:"));
    return count;
}

// A camcorder's or a broadcast's interlaced pictures are previewed whole, without the combs
// two woven moments show on motion; progressive pictures pass untouched.
TEST(MoviePlayer, ShowsInterlacedPicturesWhole)
{
    const QString clip = tempDir().filePath(QStringLiteral("fields.mpg"));
    QString log;
    ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=50:duration=1", "-vf",
                           "tinterlace=mode=interleave_top,setfield=tff", "-c:v", "mpeg2video", "-flags",
                           "+ildct+ilme", "-top", "1", "-b:v", "8M", "-an", "-f", "vob", clip},
                          &log))
        << log.toStdString();
    const FieldCount source = DetectFields({"-i", clip});
    ASSERT_GT(source.woven, 20);

    const QString shown = tempDir().filePath(QStringLiteral("shown"));
    ASSERT_TRUE(QDir().mkpath(shown));
    {
        TMoviePlayer player({{QStringLiteral("vo"), QStringLiteral("image")},
                             {QStringLiteral("vo-image-format"), QStringLiteral("png")},
                             {QStringLiteral("vo-image-outdir"), shown}});
        Reports reports(player);
        player.setFileName(clip);
        ASSERT_TRUE(player.IsLoaded()) << player.LastError().toStdString();
        player.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return reports.completed > 0; }, 20000));
    }
    const FieldCount previewed = DetectFields({"-framerate", "25", "-i", shown + QStringLiteral("/%08d.png")});
    EXPECT_GT(previewed.whole, 20);
    EXPECT_LT(previewed.woven, 3);
}

} // namespace
