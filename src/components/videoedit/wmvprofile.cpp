#include "wmvprofile.h"

#include <QFile>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kc {

namespace {

WmvProfile Make(const char *name, int videoKbps, int w, int h, double fps, int audioKbps, int rate, int channels)
{
    WmvProfile p;
    p.name = QString::fromUtf8(name);
    p.videoBitrate = videoKbps * 1000;
    p.width = w;
    p.height = h;
    p.frameRate = fps;
    p.audioBitrate = audioKbps * 1000;
    p.sampleRate = rate;
    p.channels = channels;
    return p;
}

// Which kind of stream a <streamconfig> holds, by its major type GUID.
enum class StreamKind { Unknown, Audio, Video };

StreamKind KindOfMajorType(const QString &guid)
{
    const QString g = guid.trimmed().toUpper();
    if (g.contains(QLatin1String("73647561-0000-0010-8000-00AA00389B71")))
        return StreamKind::Audio;
    if (g.contains(QLatin1String("73646976-0000-0010-8000-00AA00389B71")))
        return StreamKind::Video;
    return StreamKind::Unknown;
}

// The text of the file: UTF-16 (either byte order, with or without a byte-order mark) or UTF-8.
QString DecodeXmlText(const QByteArray &data)
{
    auto decode = [&](QStringConverter::Encoding enc) {
        QStringDecoder dec(enc, QStringConverter::Flag::Stateless);
        QString s = dec.decode(data);
        return dec.hasError() ? QString() : s;
    };
    if (data.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE);
    if (data.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE);
    if (data.size() >= 2 && data.at(0) != 0 && data.at(1) == 0)
        return decode(QStringConverter::Utf16LE);
    if (data.size() >= 2 && data.at(0) == 0 && data.at(1) != 0)
        return decode(QStringConverter::Utf16BE);
    return decode(QStringConverter::Utf8);
}

int IntAttr(const QXmlStreamAttributes &a, const char *name, bool *found = nullptr)
{
    // The schema's attribute names are not consistently cased across writers.
    for (const QXmlStreamAttribute &attr : a) {
        if (attr.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qlonglong v = attr.value().trimmed().toLongLong(&ok);
            if (found)
                *found = ok;
            return ok ? int(std::clamp<qlonglong>(v, INT32_MIN, INT32_MAX)) : 0;
        }
    }
    if (found)
        *found = false;
    return 0;
}

QString StrAttr(const QXmlStreamAttributes &a, const char *name)
{
    for (const QXmlStreamAttribute &attr : a) {
        if (attr.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return attr.value().toString();
    }
    return QString();
}

struct StreamValues {
    StreamKind kind = StreamKind::Unknown;
    int bitrate = 0;
    int width = 0, height = 0;
    qint64 timePerFrame = 0;
    int sampleRate = 0, channels = 0, avgBytesPerSec = 0;
    bool sawVideoParts = false, sawAudioParts = false;
};

} // namespace

const QList<WmvProfile> &BuiltInWmvProfiles()
{
    // Total rates leave room for the container. WMA 2 needs at least 24 kb/s, which sets the
    // floor of the modem profiles' sound.
    static const QList<WmvProfile> list{
        Make("局域网 (1.5 Mbps), 4:3, 640×480, 25 帧/秒", 1372, 640, 480, 25, 128, 44100, 2),
        Make("局域网 (1.5 Mbps), 16:9, 852×480, 25 帧/秒", 1372, 852, 480, 25, 128, 44100, 2),
        Make("宽带 (768 Kbps), 4:3, 480×360, 25 帧/秒", 672, 480, 360, 25, 96, 44100, 2),
        Make("宽带 (768 Kbps), 16:9, 640×360, 25 帧/秒", 672, 640, 360, 25, 96, 44100, 2),
        Make("宽带 (384 Kbps), 4:3, 320×240, 25 帧/秒", 320, 320, 240, 25, 64, 44100, 2),
        Make("宽带 (384 Kbps), 16:9, 424×240, 25 帧/秒", 320, 424, 240, 25, 64, 44100, 2),
        Make("ISDN (128 Kbps), 4:3, 240×180, 15 帧/秒", 96, 240, 180, 15, 32, 22050, 2),
        Make("ISDN (128 Kbps), 16:9, 256×144, 15 帧/秒", 96, 256, 144, 15, 32, 22050, 2),
        Make("拨号调制解调器 (56 Kbps), 4:3, 160×120, 10 帧/秒", 28, 160, 120, 10, 24, 22050, 1),
        Make("拨号调制解调器 (56 Kbps), 16:9, 192×108, 10 帧/秒", 28, 192, 108, 10, 24, 22050, 1),
    };
    return list;
}

bool ReadPrxProfile(const QString &path, WmvProfile *profile, QString *error)
{
    QFile f(path);
    if (!f.exists()) {
        if (error)
            *error = QStringLiteral("WMV 配置文件不存在: %1").arg(path);
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("无法读取 WMV 配置文件 %1: %2").arg(path, f.errorString());
        return false;
    }
    // A profile is a few kilobytes; anything huge is not one.
    const QByteArray data = f.read(1 << 20);
    return ParsePrxProfile(data, path, profile, error);
}

bool ParsePrxProfile(const QByteArray &data, const QString &name, WmvProfile *profile, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("WMV 配置文件无效 %1: %2").arg(name, why);
        return false;
    };
    const QString text = DecodeXmlText(data);
    if (text.isEmpty())
        return fail(QStringLiteral("不是 UTF-8 或 UTF-16 文本"));

    QXmlStreamReader xml(text);
    bool sawProfile = false;
    QString profileName;
    QList<StreamValues> streams;
    StreamValues *cur = nullptr;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (xml.name().compare(QLatin1String("streamconfig"), Qt::CaseInsensitive) == 0)
                cur = nullptr;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView el = xml.name();
        const QXmlStreamAttributes a = xml.attributes();
        auto is = [&](const char *n) { return el.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
        if (is("profile")) {
            sawProfile = true;
            profileName = StrAttr(a, "name");
        } else if (is("streamconfig")) {
            streams.append(StreamValues());
            cur = &streams.last();
            cur->kind = KindOfMajorType(StrAttr(a, "majortype"));
            cur->bitrate = IntAttr(a, "bitrate");
        } else if (!cur) {
            continue;
        } else if (is("videomediaprops")) {
            cur->sawVideoParts = true;
        } else if (is("videoinfoheader")) {
            cur->sawVideoParts = true;
            if (cur->bitrate <= 0)
                cur->bitrate = IntAttr(a, "dwbitrate");
            bool found = false;
            for (const QXmlStreamAttribute &attr : a) {
                if (attr.name().compare(QLatin1String("avgtimeperframe"), Qt::CaseInsensitive) == 0)
                    cur->timePerFrame = attr.value().trimmed().toLongLong(&found);
            }
        } else if (is("rctarget")) {
            if (cur->width <= 0)
                cur->width = IntAttr(a, "right") - IntAttr(a, "left");
            if (cur->height <= 0)
                cur->height = IntAttr(a, "bottom") - IntAttr(a, "top");
        } else if (is("bitmapinfoheader")) {
            cur->sawVideoParts = true;
            const int w = IntAttr(a, "biwidth");
            const int h = std::abs(IntAttr(a, "biheight"));
            if (w > 0 && h > 0) {
                cur->width = w;
                cur->height = h;
            }
        } else if (is("waveformatex")) {
            cur->sawAudioParts = true;
            cur->sampleRate = IntAttr(a, "nSamplesPerSec");
            cur->channels = IntAttr(a, "nChannels");
            cur->avgBytesPerSec = IntAttr(a, "nAvgBytesPerSec");
        }
    }
    if (xml.hasError())
        return fail(xml.errorString());
    if (!sawProfile)
        return fail(QStringLiteral("没有 <profile> 元素"));

    WmvProfile p;
    p.name = profileName;
    p.audioBitrate = 0;
    bool haveVideo = false;
    for (const StreamValues &s : streams) {
        StreamKind kind = s.kind;
        if (kind == StreamKind::Unknown)
            kind = s.sawVideoParts ? StreamKind::Video : s.sawAudioParts ? StreamKind::Audio : StreamKind::Unknown;
        if (kind == StreamKind::Video && !haveVideo) {
            if (s.bitrate <= 0)
                return fail(QStringLiteral("视频流没有比特率"));
            if (s.width < 0 || s.height < 0 || s.width > 4096 || s.height > 4096)
                return fail(QStringLiteral("视频尺寸无效"));
            haveVideo = true;
            p.videoBitrate = s.bitrate;
            // 0 x 0 and a missing frame time mean "as the source".
            p.width = s.width & ~1;
            p.height = s.height & ~1;
            p.frameRate = s.timePerFrame > 0 ? 1e7 / double(s.timePerFrame) : 0;
            if (p.frameRate > 120)
                return fail(QStringLiteral("帧率无效"));
        } else if (kind == StreamKind::Audio && p.audioBitrate == 0) {
            int bitrate = s.bitrate > 0 ? s.bitrate : s.avgBytesPerSec * 8;
            if (bitrate <= 0 || s.sampleRate <= 0 || s.channels <= 0)
                return fail(QStringLiteral("音频流设置不完整"));
            p.audioBitrate = bitrate;
            p.sampleRate = s.sampleRate;
            p.channels = s.channels;
        }
    }
    if (!haveVideo)
        return fail(QStringLiteral("没有视频流"));
    *profile = p;
    return true;
}

} // namespace kc
