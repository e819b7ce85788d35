#include "codeccatalog.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace kc {

namespace {

CodecSetting QualitySetting()
{
    return CodecSetting{QStringLiteral("quality"), QStringLiteral("视频质量 (1-100)："), 1, 100, 80};
}

CodecSetting KeyframeSetting()
{
    return CodecSetting{QStringLiteral("gop"), QStringLiteral("关键帧间隔 (帧)："), 1, 600, 250};
}

bool AviCanCarry(const char *encoderName)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec)
        return false;
    const AVOutputFormat *avi = av_guess_format("avi", nullptr, nullptr);
    return avi && avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) == 1;
}

QList<CodecChoice> Available(const QList<CodecChoice> &candidates)
{
    QList<CodecChoice> out;
    for (const CodecChoice &c : candidates) {
        if (AviCanCarry(c.encoder.toLatin1().constData()))
            out << c;
    }
    return out;
}

} // namespace

QList<CodecChoice> AviVideoCodecs()
{
    const QList<CodecSetting> tunable{QualitySetting(), KeyframeSetting()};
    static const QList<CodecChoice> list = Available({
        {QStringLiteral("MPEG-4 Part 2 Video Codec"), QStringLiteral("mpeg4"), tunable},
        {QStringLiteral("MS-MPEG4 V2 Video Codec"), QStringLiteral("msmpeg4v2"), tunable},
        {QStringLiteral("MS-MPEG4 V3 Video Codec"), QStringLiteral("msmpeg4"), tunable},
        {QStringLiteral("H.264 Video Codec (x264)"), QStringLiteral("libx264"), tunable},
        {QStringLiteral("Motion JPEG Codec"), QStringLiteral("mjpeg"), {QualitySetting()}},
        {QStringLiteral("Huffyuv Lossless Codec"), QStringLiteral("huffyuv"), {}},
        {QStringLiteral("FFV1 Lossless Codec"), QStringLiteral("ffv1"), {}},
        {QStringLiteral("Ut Video Lossless Codec"), QStringLiteral("utvideo"), {}},
        {QStringLiteral("DV Video Encoder"), QStringLiteral("dvvideo"), {}},
        {QStringLiteral("XviD MPEG-4 Codec"), QStringLiteral("libxvid"), tunable},
    });
    return list;
}

QList<CodecChoice> AviAudioCodecs()
{
    static const QList<CodecChoice> list = Available({
        {QStringLiteral("PCM"), QStringLiteral("pcm_s16le"), {}},
        {QStringLiteral("MPEG Layer-3"), QStringLiteral("libmp3lame"), {}},
        {QStringLiteral("MPEG Layer-2"), QStringLiteral("mp2"), {}},
        {QStringLiteral("AC-3"), QStringLiteral("ac3"), {}},
        {QStringLiteral("IMA ADPCM"), QStringLiteral("adpcm_ima_wav"), {}},
        {QStringLiteral("MS ADPCM"), QStringLiteral("adpcm_ms"), {}},
        {QStringLiteral("CCITT A-Law"), QStringLiteral("pcm_alaw"), {}},
        {QStringLiteral("CCITT u-Law"), QStringLiteral("pcm_mulaw"), {}},
        {QStringLiteral("GSM 6.10"), QStringLiteral("libgsm_ms"), {}},
        {QStringLiteral("Windows Media Audio V2"), QStringLiteral("wmav2"), {}},
    });
    return list;
}

int SettingValue(const QList<CodecSetting> &settings, const QString &key, int fallback)
{
    for (const CodecSetting &s : settings) {
        if (s.key == key)
            return s.value;
    }
    return fallback;
}

QList<CodecSetting> SanitizedSettings(const QList<CodecSetting> &defaults, const QList<CodecSetting> &values)
{
    QList<CodecSetting> out = defaults;
    for (CodecSetting &s : out) {
        const int v = SettingValue(values, s.key, s.value);
        s.value = std::clamp(v, s.minimum, s.maximum);
    }
    return out;
}

} // namespace kc
