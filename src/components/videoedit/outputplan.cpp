#include "outputplan.h"

#include "codeccatalog.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/rational.h>
}

namespace kc {

namespace {

constexpr int64_t kVbv224KiB = 224 * 1024 * 8;  // SVCD/DVD and MPEG-2 MP@ML video buffer, bits
constexpr int64_t kVbv40KiB = 40 * 1024 * 8;    // VCD video buffer, bits

// Bitrates of the MPEG lists are bit/s; a small number is taken as kb/s rather than as an
// unusable handful of bits.
int64_t BitsPerSecond(int64_t v)
{
    return (v > 0 && v < 10000) ? v * 1000 : v;
}

int Nearest(const std::initializer_list<int> &allowed, int want)
{
    int best = *allowed.begin();
    for (int a : allowed) {
        if (std::abs(a - want) < std::abs(best - want))
            best = a;
    }
    return best;
}

bool IsNtscLike(double rate)
{
    return std::fabs(rate - 30000.0 / 1001) < std::fabs(rate - 25.0);
}

int GopFor(int num, int den)
{
    // 15 frames at 25 fps, 18 at the NTSC rates, about 0.6 s otherwise.
    const double r = double(num) / den;
    if (std::fabs(r - 25.0) < 0.01)
        return 15;
    if (std::fabs(r - 30000.0 / 1001) < 0.01 || std::fabs(r - 30.0) < 0.01)
        return 18;
    return std::max(1, int(std::lround(r * 0.6)));
}

// MPEG-1 and MPEG-2 video know eight frame rates (the encoder also takes some
// non-standard ones that players do not).
void SnapToMpegRate(int *num, int *den)
{
    static const AVRational rates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1},
                                       {50, 1}, {60000, 1001}, {60, 1}, {0, 0}};
    const int i = av_find_nearest_q_idx(AVRational{*num, *den}, rates);
    *num = rates[i].num;
    *den = rates[i].den;
}

int SnapSampleRate(const char *encoder, int want)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(encoder);
    if (!codec || !codec->supported_samplerates)
        return want;
    int best = 0;
    for (const int *r = codec->supported_samplerates; *r; ++r) {
        if (!best || std::abs(*r - want) < std::abs(best - want))
            best = *r;
    }
    return best ? best : want;
}

int SnapChannels(const char *encoder, int want)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(encoder);
    if (!codec || !codec->ch_layouts)
        return want;
    int best = 0;
    for (const AVChannelLayout *l = codec->ch_layouts; l->nb_channels; ++l) {
        if (l->nb_channels == want)
            return want;
        if (!best || std::abs(l->nb_channels - want) < std::abs(best - want))
            best = l->nb_channels;
    }
    return best ? best : want;
}

int EvenSize(int v)
{
    return v & ~1;
}

void SetMpegVideo(VideoEncoderSettings &v, const char *encoder, int w, int h, bool pal)
{
    v.encoder = encoder;
    v.width = w;
    v.height = h;
    v.rateNum = pal ? 25 : 30000;
    v.rateDen = pal ? 1 : 1001;
    v.gop = pal ? 15 : 18;
    v.darNum = 4;
    v.darDen = 3;
    v.pixFmt = "yuv420p";
    // I and P pictures only: B-pictures cost about an eighth more encoding time for little
    // gain at these fixed rates.
    v.maxBFrames = 0;
}

// The sound of an MPEG file: MP2, or AC-3 when asked.
void SetMpegAudio(AudioEncoderSettings &a, bool ac3, int sampleRate, int64_t bitrate, int channels)
{
    a.encoder = ac3 ? "ac3" : "mp2";
    a.sampleRate = Nearest({32000, 44100, 48000}, sampleRate);
    a.channels = std::clamp(channels, 1, 2);
    if (ac3) {
        a.bitrate = Nearest({64000, 96000, 128000, 160000, 192000, 224000, 256000, 320000, 384000, 448000},
                            int(BitsPerSecond(bitrate)));
    } else {
        a.bitrate = Nearest({64000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000, 384000},
                            int(BitsPerSecond(bitrate)));
        if (a.channels == 1)
            a.bitrate = std::min<int64_t>(a.bitrate, 192000);
    }
}

bool PlanDisc(int type, OutputPlan *p)
{
    const bool pal = (type % 2) == 0;
    p->audioRequired = true;
    p->applyStretchMode = true;
    p->audio.channels = 2;
    if (type == otVcdPal || type == otVcdNtsc) {
        p->muxer = "vcd";
        p->packetSize = 2324;
        p->muxerOptions = {{"muxrate", "1411200"}, {"preload", "440000"}};
        SetMpegVideo(p->video, "mpeg1video", 352, pal ? 288 : 240, pal);
        p->video.bitrate = p->video.maxrate = p->video.minrate = 1150000;
        p->video.bufsize = kVbv40KiB;
        p->audio.encoder = "mp2";
        p->audio.bitrate = 224000;
        p->audio.sampleRate = 44100;
    } else if (type == otSvcdPal || type == otSvcdNtsc) {
        p->muxer = "svcd";
        p->packetSize = 2324;
        SetMpegVideo(p->video, "mpeg2video", 480, pal ? 576 : 480, pal);
        p->video.bitrate = 2040000;
        p->video.maxrate = 2516000;
        p->video.bufsize = kVbv224KiB;
        p->video.options = {{"scan_offset", "1"}};
        p->audio.encoder = "mp2";
        p->audio.bitrate = 224000;
        p->audio.sampleRate = 44100;
    } else {
        p->muxer = "dvd";
        p->packetSize = 2048;
        p->muxerOptions = {{"muxrate", "10080000"}};
        SetMpegVideo(p->video, "mpeg2video", 720, pal ? 576 : 480, pal);
        p->video.bitrate = 6000000;
        p->video.maxrate = 9000000;
        p->video.bufsize = kVbv224KiB;
        p->audio.encoder = "ac3";
        p->audio.bitrate = 448000;
        p->audio.sampleRate = 48000;
    }
    return true;
}

bool CheckSize(int w, int h, QString *error)
{
    if (w < 16 || h < 16 || w > 4096 || h > 4096) {
        if (error)
            *error = QStringLiteral("输出图像尺寸无效: %1×%2").arg(w).arg(h);
        return false;
    }
    return true;
}

void SourceRateOr(double rate, const MediaFacts &source, int *num, int *den)
{
    if (!(rate > 0.5 && rate <= 120.0))
        rate = (source.frameRate > 0.5 && source.frameRate <= 120.0) ? source.frameRate : 25.0;
    RateToFraction(rate, num, den);
}

bool PlanMpeg(const OutputSettings &s, const MediaFacts &source, OutputPlan *p, QString *error)
{
    const bool mpeg1 = s.outputType == otMpeg1;
    p->muxer = mpeg1 ? "mpeg" : "vob";
    VideoEncoderSettings &v = p->video;
    v.encoder = mpeg1 ? "mpeg1video" : "mpeg2video";
    v.width = EvenSize(s.width);
    v.height = EvenSize(s.height);
    if (!CheckSize(v.width, v.height, error))
        return false;
    SourceRateOr(s.frameRate, source, &v.rateNum, &v.rateDen);
    SnapToMpegRate(&v.rateNum, &v.rateDen);
    v.gop = GopFor(v.rateNum, v.rateDen);
    v.maxBFrames = 2;
    v.pixFmt = "yuv420p";
    v.bitrate = std::clamp<int64_t>(BitsPerSecond(s.mpegVideoBitrate), 100000, 40000000);
    v.maxrate = v.bitrate * 3 / 2;
    v.bufsize = kVbv224KiB;
    SetMpegAudio(p->audio, s.mpegAc3, s.mpegAudioSampleRate, s.mpegAudioBitrate, s.mpegAudioChannels);
    return true;
}

bool PlanAvi(const OutputSettings &s, const QList<AviVideoChoice> &videoCodecs,
             const QList<QByteArray> &audioEncoders, const MediaFacts &source, OutputPlan *p, QString *error)
{
    p->muxer = "avi";
    VideoEncoderSettings &v = p->video;
    int w = s.width > 0 ? s.width : source.width;
    int h = s.height > 0 ? s.height : source.height;
    SourceRateOr(s.frameRate, source, &v.rateNum, &v.rateDen);
    if (s.useVideoCompressor) {
        if (s.videoCompressor < 0 || s.videoCompressor >= videoCodecs.size()) {
            if (error)
                *error = QStringLiteral("视频编码位置无效: %1").arg(s.videoCompressor);
            return false;
        }
        const AviVideoChoice &c = videoCodecs.at(s.videoCompressor);
        v.encoder = c.encoder;
        const int gop = SettingValue(c.settings, QStringLiteral("gop"), 0);
        const int quality = SettingValue(c.settings, QStringLiteral("quality"), 0);
        if (gop > 0)
            v.gop = gop;
        if (quality > 0) {
            if (v.encoder == "libx264")
                v.options << qMakePair(QByteArray("crf"), QByteArray::number(std::lround(51 - quality * 0.41)));
            else
                v.qscale = std::clamp(int(std::lround(31 - quality * 0.29)), 1, 31);
        }
        if (v.encoder == "dvvideo") {
            // DV has two fixed frame shapes; everything is scaled to the one whose rate is nearer.
            const bool ntsc = IsNtscLike(double(v.rateNum) / v.rateDen);
            w = 720;
            h = ntsc ? 480 : 576;
            v.rateNum = ntsc ? 30000 : 25;
            v.rateDen = ntsc ? 1001 : 1;
            v.pixFmt = ntsc ? "yuv411p" : "yuv420p";
            v.darNum = 4;
            v.darDen = 3;
        }
        if (v.encoder == "mpeg4" || v.encoder == "libxvid" || v.encoder == "msmpeg4" || v.encoder == "msmpeg4v2")
            v.maxBFrames = 0; // AVI has no presentation times; B-frames only confuse players
    } else {
        v.encoder = "rawvideo";
        switch (s.videoSampleSize) {
        case 32: v.pixFmt = "bgra"; break;
        case 16: v.pixFmt = "rgb555le"; break;
        default: v.pixFmt = "bgr24"; break;
        }
    }
    v.width = EvenSize(w);
    v.height = EvenSize(h);
    if (!CheckSize(v.width, v.height, error))
        return false;

    AudioEncoderSettings &a = p->audio;
    if (s.useAudioCompressor) {
        if (s.audioCompressor < 0 || s.audioCompressor >= audioEncoders.size()) {
            if (error)
                *error = QStringLiteral("音频编码位置无效: %1").arg(s.audioCompressor);
            return false;
        }
        a.encoder = audioEncoders.at(s.audioCompressor);
    } else {
        a.encoder = "pcm_s16le";
    }
    const int wantRate = source.sampleRate > 0 ? source.sampleRate : 44100;
    const int wantChannels = std::clamp(source.channels > 0 ? source.channels : 2, 1, 2);
    a.sampleRate = SnapSampleRate(a.encoder.constData(), wantRate);
    a.channels = SnapChannels(a.encoder.constData(), wantChannels);
    if (a.encoder == "libmp3lame") {
        a.bitrate = std::clamp<int64_t>(BitsPerSecond(s.aviMp3Bitrate), 8000, 320000);
    } else if (a.encoder == "mp2") {
        SetMpegAudio(a, false, a.sampleRate, a.channels == 1 ? 192000 : 224000, a.channels);
    } else if (a.encoder == "ac3") {
        SetMpegAudio(a, true, a.sampleRate, a.channels == 1 ? 96000 : 192000, a.channels);
    } else if (a.encoder == "libgsm_ms") {
        a.sampleRate = 8000; // GSM 6.10 is 8 kHz mono only
        a.channels = 1;
    } else if (a.encoder == "wmav2") {
        a.sampleRate = std::min(a.sampleRate, 48000);
        a.bitrate = a.channels == 1 ? 64000 : 128000;
    }
    return true;
}

bool PlanWmv(const OutputSettings &s, const MediaFacts &source, OutputPlan *p, QString *error)
{
    WmvProfile profile;
    if (s.wmvUseCustom) {
        if (!ReadPrxProfile(s.wmvCustomFileName, &profile, error))
            return false;
    } else {
        const QList<WmvProfile> &list = BuiltInWmvProfiles();
        if (s.wmvProfile < 0 || s.wmvProfile >= list.size()) {
            if (error)
                *error = QStringLiteral("WMV 配置位置无效: %1").arg(s.wmvProfile);
            return false;
        }
        profile = list.at(s.wmvProfile);
    }
    p->muxer = "asf";
    VideoEncoderSettings &v = p->video;
    v.encoder = "wmv2";
    v.width = EvenSize(profile.width > 0 ? profile.width : source.width);
    v.height = EvenSize(profile.height > 0 ? profile.height : source.height);
    if (!CheckSize(v.width, v.height, error))
        return false;
    SourceRateOr(profile.frameRate, source, &v.rateNum, &v.rateDen);
    v.bitrate = std::max(profile.videoBitrate, 16000);
    v.gop = std::max(1, int(std::lround(8.0 * v.rateNum / v.rateDen)));
    v.pixFmt = "yuv420p";
    AudioEncoderSettings &a = p->audio;
    a.encoder = "wmav2";
    a.sampleRate = std::clamp(profile.sampleRate, 8000, 48000);
    a.channels = std::clamp(profile.channels, 1, 2);
    // The encoder refuses less than 24 kb/s.
    a.bitrate = profile.audioBitrate > 0 ? std::max(profile.audioBitrate, 24000) : 0;
    if (a.bitrate == 0)
        a.encoder.clear(); // the profile has no sound
    return true;
}

} // namespace

void RateToFraction(double rate, int *num, int *den)
{
    struct Known {
        double value;
        int num, den;
    };
    static const Known known[] = {{24000.0 / 1001, 24000, 1001}, {30000.0 / 1001, 30000, 1001},
                                  {60000.0 / 1001, 60000, 1001}};
    for (const Known &k : known) {
        // The float property holds 29.97 as 29.9699993.
        if (std::fabs(rate - k.value) < 0.006) {
            *num = k.num;
            *den = k.den;
            return;
        }
    }
    // Otherwise the rate as written to three decimals, so that float noise does not turn
    // 7.3 into a fraction of huge terms.
    const AVRational q = av_d2q(std::round(rate * 1000) / 1000, 100000);
    *num = q.num > 0 ? q.num : 25;
    *den = q.den > 0 ? q.den : 1;
}

bool PlanOutput(const OutputSettings &settings, const QList<AviVideoChoice> &videoCodecs,
                const QList<QByteArray> &audioEncoders, const MediaFacts &source, OutputPlan *plan,
                QString *error)
{
    OutputPlan p;
    bool ok = false;
    switch (settings.outputType) {
    case otVcdPal: case otVcdNtsc: case otSvcdPal: case otSvcdNtsc: case otDvdPal: case otDvdNtsc:
        ok = PlanDisc(settings.outputType, &p);
        break;
    case otMpeg1: case otMpeg2:
        ok = PlanMpeg(settings, source, &p, error);
        break;
    case otAvi:
        ok = PlanAvi(settings, videoCodecs, audioEncoders, source, &p, error);
        break;
    case otWmv:
        ok = PlanWmv(settings, source, &p, error);
        break;
    default:
        if (error)
            *error = QStringLiteral("未知的输出类型: %1").arg(settings.outputType);
        return false;
    }
    if (!ok)
        return false;
    *plan = p;
    return true;
}

} // namespace kc
