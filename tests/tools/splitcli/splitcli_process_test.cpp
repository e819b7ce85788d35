// kestrelcut-split run as a process on generated clips.
#include "support/clips.h"
#include "support/realworldclips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};

QString Tool()
{
    return BinDir() + QStringLiteral("kestrelcut-split");
}

RunResult RunSplit(const QStringList &args, const QString &workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(Tool(), args);
    RunResult r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not run: ") + p.errorString();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

class SplitCliProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        out = dir.path() + QStringLiteral("/out/");
        ASSERT_TRUE(QDir().mkpath(out));
    }

    QString Clip(double seconds, const QString &name = QStringLiteral("clip.avi"))
    {
        const QString path = dir.filePath(name);
        if (!QFileInfo::exists(path)) {
            ClipRecipe clipRecipe;
            clipRecipe.seconds = seconds;
            EXPECT_TRUE(MakeClip(path, clipRecipe));
        }
        return path;
    }

    QStringList Files() const { return QDir(out).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
    QString out;
};

TEST_F(SplitCliProcess, EachModeWritesTheWindowsFileNames)
{
    const QString clip = Clip(2.5);
    const struct {
        QStringList args;
        QStringList files;
    } cases[] = {
        {{"--range", "0.5", "1.7", "--format", "mpeg1"}, {"clip_new0.mpg"}},
        {{"--range", "0", "1", "--format", "mpeg1"}, {"clip_new0.mpg", "clip_new1.mpg"}},
        {{"--parts", "3", "--format", "avi", "--size", "160x120"},
         {"clip_new(1).avi", "clip_new(2).avi", "clip_new(3).avi"}},
        {{"--every", "1", "--format", "mpeg1", "--size", "160x120"},
         {"clip_new(1).mpg", "clip_new(2).mpg", "clip_new(3).mpg"}},
    };
    for (const auto &c : cases) {
        for (const QString &f : Files())
            QFile::remove(out + f);
        if (c.files.size() == 2) // a second custom cut keeps the first
            QFile(out + "clip_new0.mpg").open(QIODevice::WriteOnly);
        const RunResult r = RunSplit(QStringList{clip} << c.args << "--output" << out);
        EXPECT_EQ(r.exitCode, 0) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(Files(), c.files) << c.args.join(' ').toStdString();
        // Standard output lists the written pieces.
        QStringList written;
        for (const QString &f : c.files.mid(c.files.size() == 2 ? 1 : 0))
            written << out + f;
        EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts), written);
    }
    EXPECT_NEAR(ProbeValue(out + "clip_new(3).mpg", "format=duration").toDouble(), 0.5, 0.25);
}

TEST_F(SplitCliProcess, Formats)
{
    const QString clip = Clip(1.2);
    const struct {
        const char *format;
        const char *file;
        const char *videoCodec;
        const char *width;
    } cases[] = {
        {"vcd-pal", "clip_new0.mpg", "mpeg1video", "352"},
        {"dvd-ntsc", "clip_new1.mpg", "mpeg2video", "720"},
        {"mpeg2", "clip_new2.mpg", "mpeg2video", "352"},
        {"wmv", "clip_new0.wmv", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        const RunResult r = RunSplit({clip, "--range", "0", "1", "--format", c.format, "--output", out});
        ASSERT_EQ(r.exitCode, 0) << c.format << ": " << r.err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(out + c.file)) << c.format;
        if (c.videoCodec) {
            EXPECT_EQ(ProbeValue(out + c.file, "stream=codec_name", "v:0"), QString::fromLatin1(c.videoCodec));
        }
        if (c.width) {
            EXPECT_EQ(ProbeValue(out + c.file, "stream=width", "v:0"), QString::fromLatin1(c.width));
        }
    }
}

TEST_F(SplitCliProcess, OutputDefaultsToTheCurrentFolder)
{
    // A name with a blank and Chinese characters reaches the output name unchanged.
    const QString clip = Clip(1.2, QStringLiteral("片段 一.avi"));
    const RunResult r = RunSplit({clip, "--range", "0", "0.5", "--format", "mpeg1"}, out);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Files(), QStringList{QStringLiteral("片段 一_new0.mpg")});
    EXPECT_EQ(r.out.trimmed(), out + QStringLiteral("片段 一_new0.mpg"));
}

TEST_F(SplitCliProcess, RefusalsExitWithOne)
{
    const QString clip = Clip(1.2);
    QFile notVideo(dir.filePath("notes.avi"));
    ASSERT_TRUE(notVideo.open(QIODevice::WriteOnly));
    notVideo.write("not a video at all");
    notVideo.close();
    const struct {
        QStringList args;
        QString message;
    } cases[] = {
        {{clip, "--range", "1", "1"}, QStringLiteral("开始时间大于结束时间，请重新设置!")},
        {{clip, "--range", "0", "9"}, QStringLiteral("结束时间大于视频总时间，请重新设置!")},
        {{clip, "--every", "0"}, QStringLiteral("时间设置不正确，请重新设置！")},
        {{clip, "--every", "1.5"}, QStringLiteral("时间设置不正确，请重新设置！")},
        {{dir.filePath("missing.avi"), "--parts", "2"}, QStringLiteral("no such file")},
        {{notVideo.fileName(), "--parts", "2"}, QStringLiteral("无法识别的视频文件!")},
        {{clip, "--parts", "2", "--output", notVideo.fileName()}, QStringLiteral("no such folder")},
        {{clip, "--parts", "2", "--format", "avi", "--ac3"}, QStringLiteral("--ac3 does not apply")},
        {{clip, "--parts", "2", "--format", "avi", "--vcodec", "No Such Codec"}, QStringLiteral("the video codecs are")},
        {{clip}, QStringLiteral("no split mode")},
    };
    for (const auto &c : cases) {
        const RunResult r = RunSplit(QStringList(c.args) << (c.args.contains("--output") ? QStringList() : QStringList{"--output", out}));
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(SplitCliProcess, RenderFailureExitsWithTwo)
{
    const QString clip = Clip(1.2);
    // The second piece's name is taken by a folder, so that piece cannot be written.
    ASSERT_TRUE(QDir().mkpath(out + "clip_new(2).mpg"));
    const RunResult r = RunSplit({clip, "--parts", "2", "--format", "mpeg1", "--output", out});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("视频文件保存失败,请改变输出路径后再试!"))) << r.err.toStdString();
    EXPECT_EQ(Files(), QStringList{"clip_new(1).mpg"});
}

TEST_F(SplitCliProcess, CtrlCStopsAndRemovesTheUnfinishedPiece)
{
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 8;
    clipRecipe.width = 640;
    clipRecipe.height = 480;
    const QString clip = dir.filePath("long.avi");
    ASSERT_TRUE(MakeClip(clip, clipRecipe));

    QProcess p;
    p.start(Tool(), {clip, "--parts", "2", "--format", "dvd-pal", "--output", out});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        p.waitForReadyRead(50);
        err += p.readAllStandardError();
        return err.contains("piece 1/2:") || p.state() != QProcess::Running;
    }, 30000));
    ASSERT_EQ(p.state(), QProcess::Running) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << (err + p.readAllStandardError()).toStdString();
    // Only pieces reported as written are left.
    QStringList written;
    for (const QString &line : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        written << QFileInfo(line).fileName();
    EXPECT_EQ(Files(), written);
    EXPECT_LT(written.size(), 2);
}

// Sources as other programs write them, split as a user would: what is written, how long
// each piece is, and how the run ends.
TEST_F(SplitCliProcess, RealWorldSources)
{
    const struct {
        RealWorld kind;
        const char *name;
        QStringList args;
        int exitCode;
        QList<double> seconds;   // of the pieces written, in name order
        QString message;         // on standard error
    } cases[] = {
        // The timeline of the MP4 starts 3 s before its first picture, as players show it.
        {RealWorld::Mp4LateStart, "late.mp4", {"--every", "4"}, 0, {1, 4, 4, 1}, {}},
        {RealWorld::Mp4LateStart, "late.mp4", {"--range", "9", "12"}, 0, {3}, {}},
        // A Matroska file whose times run from 100 s lasts as long as its content.
        {RealWorld::MkvLateStart, "late.mkv", {"--parts", "2"}, 0, {5, 5}, {}},
        // A browser's recording has no length or index of its own; a range is sought all the same.
        {RealWorld::WebmLive, "recorded.webm", {"--parts", "2"}, 0, {4, 4}, {}},
        {RealWorld::WebmLive, "recorded.webm", {"--range", "3", "5"}, 0, {2}, {}},
        // Long GOPs in MPEG-TS: the seek reaches the keyframe before the start.
        {RealWorld::TsLongGopX264, "x264.ts", {"--range", "2", "4"}, 0, {2}, {}},
        {RealWorld::TsGStreamer, "gst.ts", {"--range", "2", "4"}, 0, {2}, {}},
        // Parts of them are one render that reads the source once.
        {RealWorld::TsLongGopX264, "x264.ts", {"--parts", "3"}, 0, {2, 2, 2}, {}},
        {RealWorld::TsGStreamer, "gst.ts", {"--parts", "3"}, 0, {2, 2, 2}, {}},
        // The sound's last 5 ms hold no picture: no third piece, and a clean end.
        {RealWorld::SoundOutlastsPicture, "tail.mkv", {"--every", "2"}, 0, {2, 2},
         QStringLiteral("piece 3/3: not written: only sound is left after the last picture")},
        {RealWorld::Mp3SoundOnly, "sound.mp3", {"--parts", "2"}, 1, {}, QStringLiteral("无法识别的视频文件!")},
        {RealWorld::WavSoundOnly, "sound.wav", {"--every", "1"}, 1, {}, QStringLiteral("无法识别的视频文件!")},
    };
    for (const auto &c : cases) {
        const QString source = dir.filePath(QString::fromLatin1(c.name));
        if (!QFileInfo::exists(source)) {
            const RealWorldClip made = MakeRealWorldClip(c.kind, source);
            if (!made.skipReason.isEmpty()) {
                std::cout << "[  SKIPPED ] " << c.name << ": " << made.skipReason.toStdString() << std::endl;
                continue;
            }
            ASSERT_TRUE(made.ok) << c.name << ": " << made.log.toStdString();
        }
        for (const QString &f : Files())
            QFile::remove(out + f);
        const QString label = QString::fromLatin1(c.name) + ' ' + c.args.join(' ');
        const RunResult r = RunSplit(QStringList{source} << c.args << "--format" << "avi" << "--size" << "160x120"
                                                         << "--output" << out);
        EXPECT_EQ(r.exitCode, c.exitCode) << label.toStdString() << ": " << r.err.toStdString();
        if (!c.message.isEmpty()) {
            EXPECT_TRUE(r.err.contains(c.message)) << label.toStdString() << ": " << r.err.toStdString();
        }
        const QStringList files = Files();
        ASSERT_EQ(files.size(), c.seconds.size()) << label.toStdString() << ": " << files.join(' ').toStdString();
        EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), files.size()) << label.toStdString();
        for (int i = 0; i < files.size(); ++i) {
            EXPECT_NEAR(ProbeValue(out + files.at(i), "format=duration").toDouble(), c.seconds.at(i), 0.05)
                << label.toStdString() << " " << files.at(i).toStdString();
            QString errors;
            RunTool("ffmpeg", {"-v", "error", "-i", out + files.at(i), "-f", "null", "-"}, nullptr, &errors);
            EXPECT_EQ(errors.trimmed(), QString()) << files.at(i).toStdString();
        }
    }
}

// A damaged AVI ends within the fuzzing limit of 20 s, and whatever it ends with, only
// the pieces reported as written are left.
TEST_F(SplitCliProcess, DamagedSourceEnds)
{
    const QString source = dir.filePath("damaged.avi");
    const RealWorldClip made = MakeRealWorldClip(RealWorld::DamagedAvi, source);
    if (!made.skipReason.isEmpty())
        GTEST_SKIP() << made.skipReason.toStdString();
    ASSERT_TRUE(made.ok) << made.log.toStdString();
    for (const QStringList &args : {QStringList{"--range", "1", "2"}, QStringList{"--every", "1"}}) {
        for (const QString &f : Files())
            QFile::remove(out + f);
        QProcess p;
        p.start(Tool(), QStringList{source} << args << "--format" << "avi" << "--output" << out);
        ASSERT_TRUE(p.waitForStarted());
        const bool ended = p.waitForFinished(20000);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        ASSERT_TRUE(ended) << args.join(' ').toStdString() << " still runs after 20 s";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_TRUE(p.exitCode() == 0 || p.exitCode() == 2) << p.exitCode();
        QStringList written;
        for (const QString &line : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            written << QFileInfo(line).fileName();
        EXPECT_EQ(Files(), written) << args.join(' ').toStdString();
    }
}

// An interrupted piece leaves the file of its name that was there before as it was.
TEST_F(SplitCliProcess, CtrlCKeepsAnExistingFileOfThePiecesName)
{
    ClipRecipe clipRecipe;
    clipRecipe.seconds = 8;
    clipRecipe.width = 640;
    clipRecipe.height = 480;
    const QString clip = dir.filePath("long.avi");
    ASSERT_TRUE(MakeClip(clip, clipRecipe));
    QFile existing(out + "long_new(1).mpg");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier piece");
    existing.close();

    QProcess p;
    p.start(Tool(), {clip, "--parts", "2", "--format", "dvd-pal", "--output", out});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        p.waitForReadyRead(50);
        err += p.readAllStandardError();
        return err.contains("piece 1/2:") || p.state() != QProcess::Running;
    }, 30000));
    ASSERT_EQ(p.state(), QProcess::Running) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_EQ(Files(), QStringList{"long_new(1).mpg"});
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("an earlier piece"));
}

TEST(SplitCliHelp, DescribesEveryOption)
{
    int code = -1;
    const QString help = RunTool(Tool(), {"--help"}, &code);
    EXPECT_EQ(code, 0);
    for (const char *option :
         {"--range", "--parts", "--every", "--format", "--stretch", "--output", "--size", "--video-bitrate", "--fps",
          "--audio-rate", "--audio-bitrate", "--ac3", "--vcodec", "--acodec", "--no-video-compress",
          "--no-audio-compress", "--wmv-profile", "--wmv-profile-file", "--list-codecs", "--copy", "--exact", "vcd-pal",
          "dvd-ntsc", "130"})
        EXPECT_TRUE(help.contains(QString::fromLatin1(option))) << option;

    const QString lists = RunTool(Tool(), {"--list-codecs"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(lists.contains("Video codecs")) << lists.toStdString();
    EXPECT_TRUE(lists.contains("WMV profiles")) << lists.toStdString();
}

} // namespace
} // namespace kc::test
