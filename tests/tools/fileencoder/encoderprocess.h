#pragma once

#include "support/realworldclips.h" // HaveProgram

#include <QString>
#include <QStringList>

namespace kc::test {

// FileEncoder run as a process: how it ended and what it printed.
struct EncoderRun {
    int exitCode = -1;
    bool normalExit = false;
    QString out;
    QString err;
};

QString EncoderPath();
EncoderRun RunEncoder(const QStringList &args);

// The window's command line for a cut: IN -ss START -endpos LENGTH -ovc copy -oac copy -o OUT.
QStringList CutArgs(const QString &in, const QString &start, const QString &length, const QString &out);

// What `ffmpeg -v error -i FILE -f null -` prints: empty when a player would decode the
// file without complaint.
QString DecodeErrors(const QString &file);

// The MD5 of every decoded picture of the first video stream, in showing order.
QStringList VideoFrameHashes(const QString &file);

} // namespace kc::test
