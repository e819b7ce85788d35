#pragma once

#include "tvideoedit.h"

#include <QList>
#include <QString>

namespace kc {

// One entry of the AVI codec lists: the name the user sees, the libavcodec encoder behind
// it and the settings its property page edits (empty: no property page).
struct CodecChoice {
    QString name;
    QString encoder;
    QList<CodecSetting> settings;
};

// The video and audio codecs this FFmpeg build can encode and the AVI muxer can carry, in
// the order the lists show them. "DV Video Encoder" stays above "XviD MPEG-4 Codec" (the
// window selects the last of the two), and "PCM" is always offered.
QList<CodecChoice> AviVideoCodecs();
QList<CodecChoice> AviAudioCodecs();

// Reads a setting by key; fallback when the list has no such key.
int SettingValue(const QList<CodecSetting> &settings, const QString &key, int fallback);

// Keeps every value within its own limits and drops keys the defaults do not know, so a
// property page cannot hand the encoder anything out of range.
QList<CodecSetting> SanitizedSettings(const QList<CodecSetting> &defaults, const QList<CodecSetting> &values);

} // namespace kc
