#pragma once

#include "mediaprobe.h"
#include "tvideoedit.h"
#include "wmvprofile.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

namespace kc {

// The output type codes written to OutputType.
enum OutputTypeCode {
    otVcdPal = 0, otVcdNtsc, otSvcdPal, otSvcdNtsc, otDvdPal, otDvdNtsc, otMpeg1, otMpeg2, otAvi, otWmv,
};

// The values of the component's output properties; each keeps its value until written again.
struct OutputSettings {
    int outputType = otVcdNtsc;
    int width = 320;
    int height = 240;
    float frameRate = 15.f;
    bool useVideoCompressor = true;
    bool useAudioCompressor = true;
    int videoCompressor = 0;
    int audioCompressor = 0;
    int aviMp3Bitrate = 128;           // kb/s
    bool mpegAc3 = false;
    int mpegAudioSampleRate = 44100;
    int mpegAudioBitrate = 224000;     // bit/s
    int mpegVideoBitrate = 1500000;    // bit/s
    int mpegAudioChannels = 2;
    int wmvProfile = 0;
    QString wmvCustomFileName;
    bool wmvUseCustom = false;         // the custom file was written after the profile position
    int videoSampleSize = 24;          // bits per pixel of uncompressed AVI video
};

using OptionList = QList<QPair<QByteArray, QByteArray>>;

struct VideoEncoderSettings {
    QByteArray encoder;                // libavcodec encoder name
    int width = 0, height = 0;
    int rateNum = 25, rateDen = 1;
    int darNum = 0, darDen = 0;        // display aspect; 0: square pixels
    QByteArray pixFmt;                 // empty: the encoder's preferred format
    int64_t bitrate = 0, maxrate = 0, minrate = 0, bufsize = 0;
    int gop = 0;                       // 0: the encoder's default
    int maxBFrames = -1;               // -1: the encoder's default
    int qscale = 0;                    // fixed quantiser (1-31), 0: none
    OptionList options;                // encoder-private options
};

struct AudioEncoderSettings {
    QByteArray encoder;
    int sampleRate = 44100;
    int channels = 2;
    int64_t bitrate = 0;
};

// Everything the render needs to know about the file it writes.
struct OutputPlan {
    QByteArray muxer;                  // libavformat short name
    int packetSize = 0;                // 0: the muxer's default
    OptionList muxerOptions;
    VideoEncoderSettings video;
    AudioEncoderSettings audio;
    bool audioRequired = false;        // the type needs a sound track even without AddAudio
    bool applyStretchMode = false;     // the keep-aspect mode of AddVideo applies
};

// The AVI video codec of a list position with the values its property page left.
struct AviVideoChoice {
    QByteArray encoder;
    QList<CodecSetting> settings;
};

// Turns the output properties into an output plan for a source with those facts (used where
// the settings say "as the source" and for the AVI sound). The WMV profile comes from
// BuiltInWmvProfiles() or the custom .prx file. False, with the reason, for settings that
// cannot be rendered (unknown type, codec position outside the list, unreadable profile).
bool PlanOutput(const OutputSettings &settings, const QList<AviVideoChoice> &videoCodecs,
                const QList<QByteArray> &audioEncoders, const MediaFacts &source, OutputPlan *plan,
                QString *error);

// The frame rate written as a float, as an exact fraction (29.97 is 30000/1001).
void RateToFraction(double rate, int *num, int *den);

} // namespace kc
