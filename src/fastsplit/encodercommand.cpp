#include "encodercommand.h"

#include "common/programfolder.h"

namespace kc {

QString EncoderCommandLine(const EncoderRequest &request)
{
    QString line;
    line += QLatin1String("FileEncoder \"");
    line += request.input;
    line += QLatin1String("\" -ss ");
    line += request.startText;
    line += QLatin1String(" -endpos ");
    line += request.lengthText;
    if (request.exact)
        line += QLatin1String(" -exact");
    line += QLatin1String(" -ovc copy -oac copy -o \"");
    line += request.output;
    line += QLatin1String("\"");
    return line;
}

QStringList EncoderArguments(const EncoderRequest &request)
{
    QStringList args{request.input,
                     QStringLiteral("-ss"), request.startText,
                     QStringLiteral("-endpos"), request.lengthText};
    if (request.exact)
        args << QStringLiteral("-exact");
    args << QStringLiteral("-ovc") << QStringLiteral("copy")
         << QStringLiteral("-oac") << QStringLiteral("copy")
         << QStringLiteral("-o") << request.output;
    return args;
}

QString EncoderProgram()
{
    return ProgramFolder() + QLatin1String("FileEncoder");
}

} // namespace kc
