#pragma once

#include "split/outputsettings.h"
#include "common/planning.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace kc::cli {

enum class Action { Split, Help, ListCodecs };

// The command line as typed, checked for its form and for what the window would offer.
// Values that need the component (codec names, profile numbers) are checked by
// ResolveOutputChoice.
struct SplitArgs {
    Action action = Action::Split;
    QString input;
    TSplitMode mode = smCustom;
    double start = 0;          // --range
    double end = 0;
    qint64 parts = 2;          // --parts
    QString every;             // --every, as typed: planning reads it as the window's field

    bool copy = false;         // --copy: pieces copied from the source, no encoding options
    bool exact = false;        // --exact (with --copy): pieces start and end on their planned pictures

    QString formatName = QStringLiteral("vcd-ntsc");
    OutFormat format = OutFormat::VCD;
    bool pal = false;
    bool mpeg1 = true;

    bool stretch = false;
    QString output;            // empty: the current folder
    std::optional<QSize> size;
    int mpegVideoBitPos = -1;  // positions in the window's lists, -1 when not given
    int mpegFramePos = -1;
    int audioSamplePos = -1;
    int audioBitPos = -1;
    int aviFramePos = -1;      // a rate the AVI list offers
    std::optional<double> aviFrameRate; // any other positive AVI rate
    bool ac3 = false;
    QString vcodec;
    QString acodec;
    bool noVideoCompress = false;
    bool noAudioCompress = false;
    std::optional<int> wmvProfile;
    QString wmvProfileFile;
};

struct ParseResult {
    bool ok = false;
    QString error; // one line, without the program's name
    SplitArgs args;
};

// Parses the arguments (without the program's name). "--opt value" and "--opt=value"
// are both understood.
ParseResult ParseSplitArgs(const QStringList &arguments);

// The names the component offers, for matching --vcodec, --acodec and --wmv-profile.
struct ComponentLists {
    QStringList videoCodecs;
    QStringList audioCodecs;
    QStringList wmvProfiles;
};

// The window's choice for these arguments: the window's initial selections, changed by
// the options given. Empty, with *error, when a codec name or profile is not offered.
// A --wmv-profile-file that is not a file is looked up as a name in the program
// folder's Profiles/, as the window's custom profile list does.
std::optional<OutputChoice> ResolveOutputChoice(const SplitArgs &args, const ComponentLists &lists,
                                                const QString &programFolder, QString *error);

// The text --help prints.
QString UsageText();

} // namespace kc::cli
