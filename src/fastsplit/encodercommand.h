#pragma once

#include <QString>
#include <QStringList>

namespace kc {

// One FileEncoder run: cut lengthText from startText of input into output.
struct EncoderRequest {
    QString input;
    QString startText;  // hh:mm:ss.mmm
    QString lengthText; // hh:mm:ss.mmm, a length, not an end position
    QString output;
    bool exact = false; // start on the asked picture (-exact)
};

// The command line as one text, built piece by piece as the encoder documents it:
//   FileEncoder "IN" -ss START -endpos LENGTH [-exact] -ovc copy -oac copy -o "OUT"
// Only for display and logs: a path holding a quote would not survive re-splitting it.
QString EncoderCommandLine(const EncoderRequest &request);

// The same arguments as a list, each one whole, for QProcess.
QStringList EncoderArguments(const EncoderRequest &request);

// Where the encoder lives: beside the program, never looked up through PATH.
QString EncoderProgram();

} // namespace kc
