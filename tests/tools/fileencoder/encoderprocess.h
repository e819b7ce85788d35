#pragma once

#include "support/mediachecks.h"
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

} // namespace kc::test
