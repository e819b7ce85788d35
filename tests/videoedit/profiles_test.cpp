// The WMV profiles: our own list and the reader of Windows Media profile files.
#include "components/videoedit/wmvprofile.h"
#include "support/clips.h"

#include <QSet>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <cmath>

using namespace kc;

namespace {

TEST(VideoEditWmvProfiles, RunFromModemToLanInBothShapes)
{
    const QList<WmvProfile> &list = BuiltInWmvProfiles();
    ASSERT_GE(list.size(), 8);
    QSet<QString> names;
    int wide = 0, standard = 0;
    int lowest = INT32_MAX, highest = 0;
    for (const WmvProfile &p : list) {
        SCOPED_TRACE(p.name.toStdString());
        names.insert(p.name);
        const double shape = double(p.width) / p.height;
        if (std::fabs(shape - 16.0 / 9) < 0.03)
            ++wide;
        else if (std::fabs(shape - 4.0 / 3) < 0.03)
            ++standard;
        else
            ADD_FAILURE() << "neither 4:3 nor 16:9";
        EXPECT_EQ(p.width % 2, 0);
        EXPECT_EQ(p.height % 2, 0);
        EXPECT_GT(p.frameRate, 0);
        EXPECT_GE(p.audioBitrate, 24000); // the least WMA 2 accepts
        const int total = p.videoBitrate + p.audioBitrate;
        lowest = std::min(lowest, total);
        highest = std::max(highest, total);
    }
    EXPECT_EQ(names.size(), list.size());
    EXPECT_GT(wide, 0);
    EXPECT_GT(standard, 0);
    EXPECT_LE(lowest, 56000);     // a modem line
    EXPECT_GE(highest, 1000000);  // a LAN
}

struct ShippedCase {
    const char *name;
    int videoBitrate, width, height;
    double frameRate;
    int audioBitrate, sampleRate, channels;
};

const ShippedCase kShipped[] = {
    {"PDA的16比9宽屏幕配置(150K)", 118000, 320, 180, 15, 32000, 32000, 2},
    {"PDA的16比9宽屏幕配置(225K)", 177000, 320, 180, 20, 48000, 44100, 2},
    {"640x480 video", 1000000, 640, 480, 29.97, 128000, 44100, 2},
    {"High motion video for broadband NTSC (1500 Kbps total)", 1372000, 640, 480, 29.97, 128000, 44100, 2},
    {"High motion video for broadband NTSC (384 Kbps)", 320000, 320, 240, 29.97, 64000, 44100, 2},
    {"High motion video for broadband NTSC (768 Kbps)", 672000, 480, 360, 29.97, 96000, 44100, 2},
};

TEST(VideoEditPrx, ShippedFilesMatchTheirNames)
{
    for (const ShippedCase &c : kShipped) {
        SCOPED_TRACE(c.name);
        const QString path = test::BinDir() + QStringLiteral("Profiles/") + QString::fromUtf8(c.name) + QStringLiteral(".prx");
        WmvProfile p;
        QString error;
        ASSERT_TRUE(ReadPrxProfile(path, &p, &error)) << error.toStdString();
        EXPECT_EQ(p.name, QString::fromUtf8(c.name));
        EXPECT_EQ(p.videoBitrate, c.videoBitrate);
        EXPECT_EQ(p.width, c.width);
        EXPECT_EQ(p.height, c.height);
        EXPECT_NEAR(p.frameRate, c.frameRate, 0.01);
        EXPECT_EQ(p.audioBitrate, c.audioBitrate);
        EXPECT_EQ(p.sampleRate, c.sampleRate);
        EXPECT_EQ(p.channels, c.channels);
        // Total of the "(… Kbps)" names: video and audio add up to it.
        const QString n = QString::fromUtf8(c.name);
        const int open = n.lastIndexOf(QLatin1Char('('));
        const int kbps = n.mid(open + 1).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char('K')).toInt();
        if (kbps > 0) {
            EXPECT_EQ((c.videoBitrate + c.audioBitrate) / 1000, kbps);
        }
    }
}

const char kMinimal[] = R"(<profile version="589824" name="mine">
  <streamconfig majortype="{73646976-0000-0010-8000-00AA00389B71}" streamnumber="1" bitrate="250000">
    <videomediaprops maxkeyframespacing="80000000" quality="75"/>
    <wmmediatype subtype="{32564D57-0000-0010-8000-00AA00389B71}">
      <videoinfoheader dwbitrate="250000" avgtimeperframe="400000">
        <rctarget left="0" top="0" right="352" bottom="288"/>
        <bitmapinfoheader biwidth="352" biheight="-288" bicompression="WMV2"/>
      </videoinfoheader>
    </wmmediatype>
  </streamconfig>
  <streamconfig majortype="{73647561-0000-0010-8000-00AA00389B71}" streamnumber="2" bitrate="0">
    <wmmediatype subtype="{00000161-0000-0010-8000-00AA00389B71}">
      <waveformatex wFormatTag="353" nChannels="1" nSamplesPerSec="22050" nAvgBytesPerSec="4000"/>
    </wmmediatype>
  </streamconfig>
</profile>)";

QByteArray Encoded(QStringConverter::Encoding enc, bool bom)
{
    QStringEncoder e(enc, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return e.encode(QString::fromUtf8(kMinimal));
}

TEST(VideoEditPrx, ReadsUtf8AndUtf16WithOrWithoutByteOrderMark)
{
    const QByteArray variants[] = {Encoded(QStringConverter::Utf8, false), Encoded(QStringConverter::Utf8, true),
                                   Encoded(QStringConverter::Utf16LE, true), Encoded(QStringConverter::Utf16LE, false),
                                   Encoded(QStringConverter::Utf16BE, true)};
    int i = 0;
    for (const QByteArray &data : variants) {
        SCOPED_TRACE(i++);
        WmvProfile p;
        QString error;
        ASSERT_TRUE(ParsePrxProfile(data, QStringLiteral("mine.prx"), &p, &error)) << error.toStdString();
        EXPECT_EQ(p.videoBitrate, 250000);
        EXPECT_EQ(p.width, 352);
        EXPECT_EQ(p.height, 288);  // a top-down bitmap has a negative height
        EXPECT_DOUBLE_EQ(p.frameRate, 25.0);
        EXPECT_EQ(p.audioBitrate, 32000); // from nAvgBytesPerSec when the stream gives none
        EXPECT_EQ(p.sampleRate, 22050);
        EXPECT_EQ(p.channels, 1);
    }
}

TEST(VideoEditPrx, RefusesWhatIsNotAUsableProfile)
{
    struct Case {
        const char *label;
        QByteArray data;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"not xml", QByteArray("\x01\x02\x03 garbage \xff\xfe", 14)},
        {"broken xml", QByteArray("<profile><streamconfig")},
        {"other xml", QByteArray("<html><body/></html>")},
        {"no video stream", QByteArray(R"(<profile><streamconfig majortype="{73647561-0000-0010-8000-00AA00389B71}" bitrate="32000"><wmmediatype><waveformatex nChannels="2" nSamplesPerSec="44100"/></wmmediatype></streamconfig></profile>)")},
        {"video without bitrate", QByteArray(R"(<profile><streamconfig majortype="{73646976-0000-0010-8000-00AA00389B71}"><wmmediatype><videoinfoheader avgtimeperframe="400000"><bitmapinfoheader biwidth="320" biheight="240"/></videoinfoheader></wmmediatype></streamconfig></profile>)")},
    };
    for (const Case &c : cases) {
        WmvProfile p;
        QString error;
        EXPECT_FALSE(ParsePrxProfile(c.data, QStringLiteral("x.prx"), &p, &error)) << c.label;
        EXPECT_FALSE(error.isEmpty()) << c.label;
    }
    WmvProfile p;
    QString error;
    EXPECT_FALSE(ReadPrxProfile(test::BinDir() + QStringLiteral("Profiles/abc.prx"), &p, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("abc.prx")));
}

} // namespace
