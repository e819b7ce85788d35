#pragma once

#include <QList>
#include <QString>

namespace kc {

// What a WMV render needs from a profile: the video stream's bitrate, picture size and frame
// rate, and the audio stream's bitrate, sample rate and channels (audio bitrate 0: the profile
// has no audio stream).
struct WmvProfile {
    QString name;
    int videoBitrate = 0;     // bit/s
    int width = 0;
    int height = 0;
    double frameRate = 0;
    int audioBitrate = 0;     // bit/s
    int sampleRate = 44100;
    int channels = 2;
};

// The component's own profiles, from modem to LAN rates, in 4:3 and 16:9.
const QList<WmvProfile> &BuiltInWmvProfiles();

// Reads a Windows Media profile file (.prx: XML in UTF-16 with a byte-order mark, or UTF-8):
// <profile> with <streamconfig> entries whose <videoinfoheader>/<bitmapinfoheader> and
// <waveformatex> give the values above. False, with the reason, when the file is missing,
// unreadable, not such XML, or has no usable video stream.
bool ReadPrxProfile(const QString &path, WmvProfile *profile, QString *error);

// The same from bytes already read (the name only goes into messages).
bool ParsePrxProfile(const QByteArray &data, const QString &name, WmvProfile *profile, QString *error);

} // namespace kc
