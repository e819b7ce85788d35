// Media facts and the codec lists, on generated clips and on files that are not media.
#include "fixtures.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <ostream>

using namespace kc;
using namespace kc::test;

namespace {

struct ProbeCase {
    const char *label;
    Source source;
    double duration;
    int width, height;
    double rate;
};

// Test names show the case label rather than its bytes.
void PrintTo(const ProbeCase &c, std::ostream *os) { *os << c.label; }

const ProbeCase kProbes[] = {
    {"Avi", Source::Avi, 3.0, 320, 240, 25},
    {"MpegProgramStream", Source::MpegPs, 3.0, 320, 240, 25},
    {"Mp4", Source::Mp4BFrames, 3.0, 320, 240, 25},
    {"Ntsc", Source::AviNtsc, 3.0, 320, 240, 29.97},
    {"Wide", Source::Wide, 2.0, 320, 180, 25},
};

class VideoEditProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(VideoEditProbe, ReadsTheFactsOfAClipWhosePathHasSpacesAndChinese)
{
    const ProbeCase &c = GetParam();
    const QString path = SourceClip(c.source);
    ASSERT_TRUE(path.contains(QStringLiteral("测试")) && path.contains(QLatin1Char(' ')));
    TVideoEdit edit;
    EXPECT_NEAR(edit.GetFileDuration(path), c.duration, 0.1);
    EXPECT_EQ(edit.GetFileWidth(path), c.width);
    EXPECT_EQ(edit.GetFileHeight(path), c.height);
    EXPECT_NEAR(edit.GetFileFrameRate(path), c.rate, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Clips, VideoEditProbe, ::testing::ValuesIn(kProbes),
                         [](const ::testing::TestParamInfo<ProbeCase> &i) { return std::string(i.param.label); });

QString WriteFile(const QString &name, const QByteArray &data)
{
    const QString path = OutputPath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
    return path;
}

TEST(VideoEditProbe, FilesThatAreNotMediaReadAsUnreadable)
{
    QByteArray noise;
    for (int i = 0; i < 200000; ++i)
        noise.append(char((i * 7919 + 13) % 251));
    QByteArray truncated;
    {
        QFile f(SourceClip(Source::Mp4BFrames));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        truncated = f.read(600); // the header of an MP4 without its index
    }
    const QString files[] = {
        WriteFile(QStringLiteral("noise.avi"), noise),
        WriteFile(QStringLiteral("empty.mpg"), QByteArray()),
        WriteFile(QStringLiteral("text.mp4"), QByteArray("this is not a video\n")),
        WriteFile(QStringLiteral("cut short.mp4"), truncated),
        OutputPath(QStringLiteral("missing.avi")),
        WorkDir(), // a folder
    };
    TVideoEdit edit;
    for (const QString &f : files) {
        SCOPED_TRACE(f.toStdString());
        QElapsedTimer t;
        t.start();
        EXPECT_LE(edit.GetFileDuration(f), 0.0);
        EXPECT_EQ(edit.GetFileWidth(f), 0);
        EXPECT_EQ(edit.GetFileHeight(f), 0);
        EXPECT_EQ(edit.GetFileFrameRate(f), 0.0);
        EXPECT_LT(t.elapsed(), 10000);
    }
}

TEST(VideoEditProbe, AFileReplacedUnderTheSameNameIsProbedAgain)
{
    const QString path = OutputPath(QStringLiteral("replaced.avi"));
    ASSERT_TRUE(QFile::copy(SourceClip(Source::Avi), path));
    TVideoEdit edit;
    EXPECT_EQ(edit.GetFileHeight(path), 240);
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(SourceClip(Source::Wide), path));
    EXPECT_EQ(edit.GetFileHeight(path), 180);
}

int IndexOf(const CompressorList &list, const QString &name)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Item(i) == name)
            return i;
    }
    return -1;
}

TEST(VideoEditCodecLists, OfferWhatTheWindowSelectsByDefault)
{
    TVideoEdit edit;
    const int dv = IndexOf(edit.VideoCompressors(), QStringLiteral("DV Video Encoder"));
    const int xvid = IndexOf(edit.VideoCompressors(), QStringLiteral("XviD MPEG-4 Codec"));
    ASSERT_GE(dv, 0);
    ASSERT_GE(xvid, 0);
    EXPECT_LT(dv, xvid);
    EXPECT_GE(IndexOf(edit.AudioCompressors(), QStringLiteral("PCM")), 0);
    EXPECT_GE(IndexOf(edit.AudioCompressors(), QStringLiteral("MPEG Layer-3")), 0);
    EXPECT_GE(edit.WMVProfiles().Count(), 8);
    EXPECT_TRUE(edit.VideoCompressors().Item(-1).isEmpty());
    EXPECT_TRUE(edit.VideoCompressors().Item(edit.VideoCompressors().Count()).isEmpty());
}

// Every entry is a real encoder the AVI container carries: a short render with each one.
TEST(VideoEditCodecLists, EveryEntryRendersIntoAvi)
{
    const QString src = SourceClip(Source::Avi);
    TVideoEdit edit;
    edit.setOutputType(8);
    edit.setOutputFileWidth(160);
    edit.setOutputFileHeight(120);
    edit.setFrameRate(25.f);
    edit.setAVIMP3Bitrate(128);
    edit.setUseVideoCompressor(true);
    edit.setUseAudioCompressor(true);
    const int pcm = IndexOf(edit.AudioCompressors(), QStringLiteral("PCM"));
    for (int i = 0; i < edit.VideoCompressors().Count(); ++i) {
        SCOPED_TRACE(edit.VideoCompressors().Item(i).toStdString());
        edit.setVideoCompressor(i);
        edit.setAudioCompressor(pcm);
        SetClip(edit, src, 0, 0.4);
        const QString out = OutputPath(QStringLiteral("video %1.avi").arg(i));
        const RenderOutcome r = SaveAndWait(edit, out);
        ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
        EXPECT_EQ(ProbeValue(out, QStringLiteral("format=format_name")), QStringLiteral("avi"));
        EXPECT_GT(CountVideoFrames(out), 0);
    }
    edit.setVideoCompressor(0);
    for (int i = 0; i < edit.AudioCompressors().Count(); ++i) {
        SCOPED_TRACE(edit.AudioCompressors().Item(i).toStdString());
        edit.setAudioCompressor(i);
        SetClip(edit, src, 0, 0.4);
        const QString out = OutputPath(QStringLiteral("audio %1.avi").arg(i));
        const RenderOutcome r = SaveAndWait(edit, out);
        ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
        EXPECT_GT(CountAudioSamples(out), 0);
    }
}

TEST(VideoEditCodecLists, PropertyPagesGoThroughTheInstalledOpener)
{
    TVideoEdit edit;
    VideoCompressorList &list = edit.VideoCompressors();
    const int dv = IndexOf(list, QStringLiteral("DV Video Encoder"));
    const int xvid = IndexOf(list, QStringLiteral("XviD MPEG-4 Codec"));
    ASSERT_GE(xvid, 0);

    TVideoEdit::SetPropertyPageOpener(nullptr);
    EXPECT_FALSE(list.ShowPropertyPage(xvid)); // no window to show it in

    QString shownFor;
    TVideoEdit::SetPropertyPageOpener([&](const QString &name, QList<CodecSetting> &settings) {
        shownFor = name;
        for (CodecSetting &s : settings)
            s.value = s.key == QLatin1String("gop") ? 5000 : 60; // 5000: beyond its limit
        return true;
    });
    EXPECT_FALSE(list.ShowPropertyPage(dv));     // DV has nothing to set
    EXPECT_TRUE(shownFor.isEmpty());
    EXPECT_FALSE(list.ShowPropertyPage(-1));
    EXPECT_TRUE(list.ShowPropertyPage(xvid));
    EXPECT_EQ(shownFor, QStringLiteral("XviD MPEG-4 Codec"));
    for (const CodecSetting &s : list.settings(xvid))
        EXPECT_EQ(s.value, s.key == QLatin1String("gop") ? s.maximum : 60) << s.key.toStdString();

    // A cancelled page keeps the values.
    TVideoEdit::SetPropertyPageOpener([](const QString &, QList<CodecSetting> &) { return true; });
    EXPECT_TRUE(list.ShowPropertyPage(xvid));
    EXPECT_EQ(list.settings(xvid).value(0).value, 60);
    TVideoEdit::SetPropertyPageOpener(nullptr);
}

} // namespace
