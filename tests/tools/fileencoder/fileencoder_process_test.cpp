// FileEncoder run as a process on clips made here, its outputs checked with ffprobe.

#include "encoderprocess.h"
#include "support/clips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <pthread.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using kc::test::ClipRecipe;
using kc::test::CutArgs;
using kc::test::DecodeErrors;
using kc::test::EncoderPath;
using kc::test::EncoderRun;
using kc::test::MakeClip;
using kc::test::RunEncoder;
using kc::test::FrameChecksums;

namespace {

struct Packet {
    bool video = false;
    double pts = NAN; // seconds; NaN when the container has none
    double dts = NAN;
    bool key = false;
    QString hash;
};

double TimeField(const QJsonObject &o, const char *name)
{
    bool ok = false;
    const double v = o.value(QLatin1String(name)).toString().toDouble(&ok);
    return ok ? v : NAN;
}

std::vector<Packet> Packets(const QString &file)
{
    const QString json = kc::test::RunTool(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_data_hash"), QStringLiteral("MD5"),
         QStringLiteral("-show_entries"), QStringLiteral("packet=codec_type,pts_time,dts_time,flags,data_hash"),
         QStringLiteral("-of"), QStringLiteral("json"), file});
    std::vector<Packet> out;
    const QJsonArray packets = QJsonDocument::fromJson(json.toUtf8()).object().value(QStringLiteral("packets")).toArray();
    for (const QJsonValue &v : packets) {
        const QJsonObject o = v.toObject();
        Packet p;
        p.video = o.value(QStringLiteral("codec_type")).toString() == QLatin1String("video");
        p.pts = TimeField(o, "pts_time");
        p.dts = TimeField(o, "dts_time");
        p.key = o.value(QStringLiteral("flags")).toString().startsWith(QLatin1Char('K'));
        p.hash = o.value(QStringLiteral("data_hash")).toString();
        out.push_back(p);
    }
    return out;
}

std::vector<Packet> OfKind(const std::vector<Packet> &all, bool video)
{
    std::vector<Packet> out;
    for (const Packet &p : all)
        if (p.video == video)
            out.push_back(p);
    return out;
}

int IndexOf(const std::vector<Packet> &list, const QString &hash, size_t from = 0)
{
    for (size_t i = from; i < list.size(); ++i)
        if (list[i].hash == hash)
            return static_cast<int>(i);
    return -1;
}

QString Probe(const QString &file, const QString &entries, const QString &streams = QString())
{
    return kc::test::ProbeValue(file, entries, streams);
}

// The coded picture numbers of a file's video in the order the pictures show.
std::vector<int> DisplayOrder(const QString &file)
{
    const QString text = kc::test::RunTool(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v:0"),
         QStringLiteral("-show_entries"), QStringLiteral("frame=coded_picture_number"), QStringLiteral("-of"),
         QStringLiteral("csv=p=0"), file});
    std::vector<int> order;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        order.push_back(line.trimmed().toInt());
    return order;
}

// The first byte after an MPEG pack start code tells MPEG-1 systems (0010....) from
// MPEG-2 program streams (01......).
int PackVersion(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(5);
    if (head.size() < 5 || head.left(4) != QByteArray("\x00\x00\x01\xba", 4))
        return 0;
    const auto b = static_cast<unsigned char>(head[4]);
    return (b & 0xC0) == 0x40 ? 2 : (b & 0xF0) == 0x20 ? 1 : 0;
}

struct Container {
    const char *name;
    const char *file;
    ClipRecipe clipRecipe;
    int packVersion;      // 0: not an MPEG program stream
    bool decodeOrderOnly; // no presentation times (AVI)
};

std::vector<Container> Containers()
{
    ClipRecipe avi;
    avi.seconds = 4.0;
    avi.extraOutputArgs = {QStringLiteral("-bf"), QStringLiteral("2")};

    ClipRecipe vob;
    vob.seconds = 4.0;
    vob.videoCodec = QStringLiteral("mpeg2video");
    vob.audioCodec = QStringLiteral("mp2");
    vob.sampleRate = 48000;
    vob.extraOutputArgs = {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-f"), QStringLiteral("vob")};

    ClipRecipe mpeg1 = vob;
    mpeg1.videoCodec = QStringLiteral("mpeg1video");
    mpeg1.sampleRate = 44100;
    mpeg1.extraOutputArgs = {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-f"), QStringLiteral("mpeg")};

    return {{"AVI with MPEG-4 and MP3", "clip.avi", avi, 0, true},
            {"MPEG-2 program stream", "clip2.mpg", vob, 2, false},
            {"MPEG-1 system stream", "clip1.mpg", mpeg1, 1, false}};
}

class FileEncoderProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QFileInfo(EncoderPath()).isExecutable()) << EncoderPath().toStdString();
    }
    QString Path(const QString &name) const { return dir_.filePath(name); }
    QString MakeInput(const Container &c, const QString &name = QString())
    {
        const QString path = Path(name.isEmpty() ? QString::fromLatin1(c.file) : name);
        QString log;
        EXPECT_TRUE(MakeClip(path, c.clipRecipe, &log)) << log.toStdString();
        return path;
    }

    QTemporaryDir dir_;
};

constexpr double kFrame = 1.0 / 25;
constexpr double kGop = 12 * kFrame;

} // namespace

TEST_F(FileEncoderProcess, CutsARangeByCopyingPackets)
{
    const double start = 1.3;
    const double length = 1.5;
    for (const Container &c : Containers()) {
        SCOPED_TRACE(c.name);
        const QString in = MakeInput(c, QStringLiteral("in_") + QLatin1String(c.file));
        const QString out = Path(QStringLiteral("out_") + QLatin1String(c.file));
        const EncoderRun r = RunEncoder(CutArgs(in, QStringLiteral("00:00:01.300"), QStringLiteral("00:00:01.500"), out));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(out));

        // The input's container and codecs, untouched.
        EXPECT_EQ(Probe(out, QStringLiteral("format=format_name")), Probe(in, QStringLiteral("format=format_name")));
        if (c.packVersion) {
            EXPECT_EQ(PackVersion(out), c.packVersion);
        }
        for (const char *s : {"v:0", "a:0"}) {
            const QString sel = QLatin1String(s);
            EXPECT_EQ(Probe(out, QStringLiteral("stream=codec_name,codec_tag_string"), sel),
                      Probe(in, QStringLiteral("stream=codec_name,codec_tag_string"), sel))
                << s;
        }

        const std::vector<Packet> inAll = Packets(in);
        const std::vector<Packet> outAll = Packets(out);
        const auto inV = OfKind(inAll, true), outV = OfKind(outAll, true);
        const auto inA = OfKind(inAll, false), outA = OfKind(outAll, false);
        ASSERT_FALSE(outV.empty());
        ASSERT_FALSE(outA.empty());

        // Where the keyframe shows in the input, and how many pictures after it in decode
        // order show before it (they belong to the GOP before and cannot be decoded without it).
        const int k = IndexOf(inV, outV.front().hash);
        ASSERT_GE(k, 0);
        const double inStart = Probe(in, QStringLiteral("format=start_time")).toDouble();
        double keyShows = 0;
        int behind = 0;
        if (c.decodeOrderOnly) {
            const std::vector<int> shown = DisplayOrder(in);
            const auto at = std::find(shown.begin(), shown.end(), k);
            ASSERT_NE(at, shown.end());
            keyShows = static_cast<double>(at - shown.begin()) * kFrame;
            behind = static_cast<int>(std::count_if(shown.begin(), at, [k](int n) { return n > k; }));
        } else {
            keyShows = inV[k].pts - inStart;
            for (size_t i = k + 1; i < inV.size() && inV[i].pts < inV[k].pts; ++i)
                ++behind;
        }

        // Video: bit for bit from the keyframe on, leaving out exactly those pictures.
        EXPECT_TRUE(inV[k].key);
        EXPECT_TRUE(outV.front().key);
        const int next = k + 1 + behind;
        for (size_t i = 1; i < outV.size(); ++i) {
            ASSERT_LT(next + i - 1, inV.size());
            EXPECT_EQ(outV[i].hash, inV[next + i - 1].hash) << "video packet " << i;
        }
        // Every packet decodes into a picture, and without complaint.
        EXPECT_EQ(kc::test::CountVideoFrames(out), static_cast<int>(outV.size()));
        EXPECT_EQ(DecodeErrors(out), QString());

        // Audio: one unbroken run of the input's packets.
        const int a = IndexOf(inA, outA.front().hash);
        ASSERT_GE(a, 0);
        for (size_t i = 0; i < outA.size(); ++i) {
            ASSERT_LT(a + i, inA.size());
            EXPECT_EQ(outA[i].hash, inA[a + i].hash) << "audio packet " << i;
        }

        // The range: from the keyframe at or before the start, at most a GOP before it, to
        // the end (the clip's own start time counts as 0).
        EXPECT_LE(keyShows, start + 1e-6);
        EXPECT_GT(keyShows, start - kGop - 1e-6);
        const double pictures = static_cast<double>(outV.size()) * kFrame;
        EXPECT_GE(pictures, start + length - keyShows - kFrame - 1e-6);
        EXPECT_LE(pictures, start + length - keyShows + 3 * kFrame + 1e-6);

        // Sync: the audio starts with the packet nearest the first picture's time, and keeps
        // its distance to it (an AVI starts both at 0, so that is all it can do).
        const double audioFrame = 1152.0 / c.clipRecipe.sampleRate; // MP2 and MP3 alike
        const double inGap = inA[a].pts - inStart - keyShows;
        EXPECT_LE(std::abs(inGap), audioFrame / 2 + 1e-3);
        const double outGap = outA.front().pts - (c.decodeOrderOnly ? outV.front().dts : outV.front().pts);
        EXPECT_NEAR(outGap, c.decodeOrderOnly ? 0.0 : inGap, 1e-3);
    }
}

// Matroska, WebM and FLV place the first picture a few milliseconds after the sound, so a
// keyframe "at 1 s" shows at 1.02 s or so; a cut asked from 1 s starts on it, not a whole
// GOP earlier.
TEST_F(FileEncoderProcess, AStartJustBeforeAKeyframeStartsOnIt)
{
    const struct {
        const char *file;
        const char *video;
        const char *audio;
    } cases[] = {
        {"late.mkv", "libx264", "aac"},
        {"late.webm", "libvpx", "libvorbis"},
        {"late.flv", "libx264", "aac"},
        {"late.mp4", "libx264", "aac"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const ClipRecipe recipe = kc::test::RecipeOf(QString::fromLatin1(c.video), QString::fromLatin1(c.audio), 25, {"-sc_threshold", "0"}, 3);
        const QString in = Path(QString::fromLatin1(c.file));
        QString log;
        ASSERT_TRUE(MakeClip(in, recipe, &log)) << log.toStdString();
        const QString out = Path(QStringLiteral("out_") + QLatin1String(c.file));
        const EncoderRun r = RunEncoder(CutArgs(in, QStringLiteral("00:00:01.000"), QStringLiteral("00:00:01.000"), out));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(FrameChecksums(out), FrameChecksums(in).mid(25, 25));
        EXPECT_EQ(DecodeErrors(out), QString());
    }
}

TEST_F(FileEncoderProcess, WholeFileComesOutIdentical)
{
    for (const Container &c : Containers()) {
        SCOPED_TRACE(c.name);
        const QString in = MakeInput(c, QStringLiteral("in_") + QLatin1String(c.file));
        const QString out = Path(QStringLiteral("whole_") + QLatin1String(c.file));
        const EncoderRun r = RunEncoder(CutArgs(in, QStringLiteral("00:00:00.000"), QStringLiteral("00:00:10.000"), out));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const std::vector<Packet> inAll = Packets(in);
        const std::vector<Packet> outAll = Packets(out);
        for (bool video : {true, false}) {
            const auto i = OfKind(inAll, video), o = OfKind(outAll, video);
            ASSERT_EQ(o.size(), i.size()) << (video ? "video" : "audio");
            for (size_t n = 0; n < i.size(); ++n)
                EXPECT_EQ(o[n].hash, i[n].hash) << (video ? "video " : "audio ") << n;
        }
        EXPECT_EQ(DecodeErrors(out), QString());
    }
}

TEST_F(FileEncoderProcess, WritesProgressNotesTheWindowReads)
{
    const Container c = Containers().front();
    const QString in = MakeInput(c);
    const QString out = Path(QStringLiteral("notes.avi"));
    const EncoderRun r = RunEncoder(CutArgs(in, QStringLiteral("00:00:00.500"), QStringLiteral("00:00:02.000"), out));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    static const QRegularExpression note(QStringLiteral("^Pos:( *)(\\d+\\.\\d)s$"));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    double last = -1;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = note.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_LE(m.captured(1).size() + m.captured(2).size(), 9) << line.toStdString();
        const double v = m.captured(2).toDouble();
        EXPECT_GE(v, last);
        last = v;
    }
    // The last note is the length written: from the keyframe to past the end.
    EXPECT_GE(last, 2.0);
    EXPECT_LE(last, 2.0 + kGop + 3 * kFrame);
}

TEST_F(FileEncoderProcess, HandlesPathsWithBlanksColonsAndChinese)
{
    const Container c = Containers()[1];
    ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("视频 目录")));
    const QString in = MakeInput(c, QStringLiteral("视频 目录/源 片段:1.mpg"));
    const QString out = Path(QStringLiteral("视频 目录/源 片段:1_new.mpg"));
    const EncoderRun r = RunEncoder(CutArgs(in, QStringLiteral("00:00:01.000"), QStringLiteral("00:00:01.000"), out));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Probe(out, QStringLiteral("stream=codec_name"), QStringLiteral("v:0")), QStringLiteral("mpeg2video"));
}

TEST_F(FileEncoderProcess, RefusesWhatItCannotDoAndLeavesNoOutput)
{
    const Container c = Containers().front();
    const QString clip = MakeInput(c);
    {
        QFile text(Path(QStringLiteral("notes.avi")));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("this is not a video\n");
    }
    {
        QFile srt(Path(QStringLiteral("words.srt")));
        ASSERT_TRUE(srt.open(QIODevice::WriteOnly));
        srt.write("1\n00:00:00,000 --> 00:00:01,000\nhello\n\n");
    }
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.avi")));
    const QString out = Path(QStringLiteral("out.avi"));
    const QString t0 = QStringLiteral("00:00:00.000");
    const QString t1 = QStringLiteral("00:00:01.000");

    const struct {
        const char *what;
        QStringList args;
        QString output;
    } cases[] = {
        {"missing input", CutArgs(Path(QStringLiteral("nothing.avi")), t0, t1, out), out},
        {"not a media file", CutArgs(Path(QStringLiteral("notes.avi")), t0, t1, out), out},
        {"a folder as input", CutArgs(Path(QStringLiteral("folder.avi")), t0, t1, out), out},
        {"no video or audio", CutArgs(Path(QStringLiteral("words.srt")), t0, t1, Path(QStringLiteral("w.srt"))),
         Path(QStringLiteral("w.srt"))},
        {"output folder missing", CutArgs(clip, t0, t1, Path(QStringLiteral("no/such/out.avi"))),
         Path(QStringLiteral("no/such/out.avi"))},
        {"start beyond the end", CutArgs(clip, QStringLiteral("00:01:00.000"), t1, out), out},
        {"a time it cannot read", CutArgs(clip, QStringLiteral("1:75"), t1, out), out},
        {"re-encoding asked for",
         {clip, QStringLiteral("-ovc"), QStringLiteral("lavc"), QStringLiteral("-o"), out}, out},
        {"no output named", {clip, QStringLiteral("-ss"), t0}, out},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        const EncoderRun r = RunEncoder(tc.args);
        EXPECT_TRUE(r.normalExit);
        EXPECT_NE(r.exitCode, 0);
        const QString reason = r.err.trimmed();
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_FALSE(reason.contains(QLatin1Char('\n'))) << reason.toStdString();
        EXPECT_FALSE(QFileInfo::exists(tc.output)) << tc.output.toStdString();
    }
}

TEST_F(FileEncoderProcess, NeverOverwritesAnExistingOutput)
{
    const Container c = Containers().front();
    const QString clip = MakeInput(c);
    const QString out = Path(QStringLiteral("taken.avi"));
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    const EncoderRun r = RunEncoder(CutArgs(clip, QStringLiteral("00:00:00.000"), QStringLiteral("00:00:01.000"), out));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("exists"))) << r.err.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}

TEST_F(FileEncoderProcess, EndsWithoutItsStandardInputBeingClosed)
{
    const Container c = Containers().front();
    const QString clip = MakeInput(c);
    const QString out = Path(QStringLiteral("stdin.avi"));
    QProcess p;
    p.start(EncoderPath(), CutArgs(clip, QStringLiteral("00:00:01.000"), QStringLiteral("00:00:01.000"), out));
    ASSERT_TRUE(p.waitForStarted(10000));
    // The write channel stays open: a tool that read its input would wait here forever.
    const bool finished = p.waitForFinished(30000);
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(out));
}

TEST_F(FileEncoderProcess, StoppedMidwayRemovesItsOutput)
{
    // The input comes through a named pipe that is fed only part of the clip, so the tool
    // is still copying (waiting for more) when it is told to stop. The clip is long enough
    // for the part to hold what reading the streams' facts takes (7 s of an MPEG stream).
    Container c = Containers()[1];
    c.clipRecipe.seconds = 10.0;
    const QString clip = MakeInput(c);
    QFile clipFile(clip);
    ASSERT_TRUE(clipFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = clipFile.readAll();
    const QString fifo = Path(QStringLiteral("pipe.mpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    std::atomic<bool> fed{false};
    std::atomic<bool> release{false};
    std::thread feeder([&] {
        // A write after the reader has gone fails instead of ending the test.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
        if (fd < 0)
            return;
        const qsizetype part = bytes.size() * 9 / 10;
        qsizetype done = 0;
        while (done < part) {
            const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(part - done));
            if (n <= 0)
                break;
            done += n;
        }
        fed = done == part;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(fd);
    });

    const QString out = Path(QStringLiteral("stopped.mpg"));
    QProcess p;
    p.start(EncoderPath(), CutArgs(fifo, QStringLiteral("00:00:00.000"), QStringLiteral("00:00:10.000"), out));
    ASSERT_TRUE(p.waitForStarted(10000));
    // Copying: all that was fed has been taken and the output is there.
    bool copying = false;
    for (int i = 0; i < 400 && !copying; ++i) {
        p.waitForReadyRead(50);
        copying = fed && QFileInfo::exists(out);
    }
    p.waitForFinished(300);
    EXPECT_TRUE(copying);
    EXPECT_EQ(p.state(), QProcess::Running);
    p.terminate();
    const bool finished = p.waitForFinished(10000);
    release = true;
    feeder.join();
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(out));
}
