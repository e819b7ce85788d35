#pragma once

#include <QString>
#include <QStringList>

namespace kc::test {

// What a player's decoder reports on the file: `ffmpeg -v error -i FILE -f null -`,
// trimmed; empty when it decodes cleanly.
QString DecodeErrors(const QString &file);

// The MD5 of every decoded picture of the first video stream, in showing order.
QStringList FrameChecksums(const QString &file);

// The MD5 of every packet of the first sound stream as stored, in file order.
QStringList SoundPacketChecksums(const QString &file);

// Seconds from a stream's first packet to the end of its last (stream: "v:0", "a:0"), read
// from the packets: containers without per-stream lengths give none. A packet with a decode
// time only (AVI) is placed by it.
double StreamSeconds(const QString &file, const QString &stream);

} // namespace kc::test
