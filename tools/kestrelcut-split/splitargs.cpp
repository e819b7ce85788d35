#include "splitargs.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <cmath>

namespace kc::cli {

namespace {

struct FormatName {
    const char *name;
    OutFormat format;
    bool pal;
    bool mpeg1;
};

const FormatName kFormats[] = {
    {"vcd-pal", OutFormat::VCD, true, true},    {"vcd-ntsc", OutFormat::VCD, false, true},
    {"svcd-pal", OutFormat::SVCD, true, true},  {"svcd-ntsc", OutFormat::SVCD, false, true},
    {"dvd-pal", OutFormat::DVD, true, true},    {"dvd-ntsc", OutFormat::DVD, false, true},
    {"mpeg1", OutFormat::MPEG, false, true},    {"mpeg2", OutFormat::MPEG, false, false},
    {"avi", OutFormat::AVI, false, true},       {"wmv", OutFormat::WMV, false, true},
};

QStringList FormatNames()
{
    QStringList names;
    for (const FormatName &f : kFormats)
        names << QString::fromLatin1(f.name);
    return names;
}

enum class Kind { Flag, Value, Pair };

// Which formats an option applies to; empty: every format.
struct OptionRule {
    Kind kind;
    QList<OutFormat> formats;
};

const QList<OutFormat> kDiscFormats = {OutFormat::VCD, OutFormat::SVCD, OutFormat::DVD};
const QList<OutFormat> kMpeg = {OutFormat::MPEG};
const QList<OutFormat> kMpegAvi = {OutFormat::MPEG, OutFormat::AVI};
const QList<OutFormat> kAvi = {OutFormat::AVI};
const QList<OutFormat> kWmv = {OutFormat::WMV};

const QHash<QString, OptionRule> &Options()
{
    static const QHash<QString, OptionRule> options = {
        {"--range", {Kind::Pair, {}}},
        {"--parts", {Kind::Value, {}}},
        {"--every", {Kind::Value, {}}},
        {"--format", {Kind::Value, {}}},
        {"--output", {Kind::Value, {}}},
        {"--stretch", {Kind::Flag, kDiscFormats}},
        {"--size", {Kind::Value, kMpegAvi}},
        {"--video-bitrate", {Kind::Value, kMpeg}},
        {"--fps", {Kind::Value, kMpegAvi}},
        {"--audio-rate", {Kind::Value, kMpeg}},
        {"--audio-bitrate", {Kind::Value, kMpeg}},
        {"--ac3", {Kind::Flag, kMpeg}},
        {"--vcodec", {Kind::Value, kAvi}},
        {"--acodec", {Kind::Value, kAvi}},
        {"--no-video-compress", {Kind::Flag, kAvi}},
        {"--no-audio-compress", {Kind::Flag, kAvi}},
        {"--wmv-profile", {Kind::Value, kWmv}},
        {"--wmv-profile-file", {Kind::Value, kWmv}},
        {"--list-codecs", {Kind::Flag, {}}},
        {"--copy", {Kind::Flag, {}}},
        {"--exact", {Kind::Flag, {}}},
    };
    return options;
}

QString FormatsOf(const QList<OutFormat> &formats)
{
    QStringList names;
    for (const FormatName &f : kFormats) {
        if (formats.contains(f.format))
            names << QString::fromLatin1(f.name);
    }
    return names.join(QStringLiteral(", "));
}

bool ParseNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool ParseWhole(const QString &text, qint64 *value)
{
    static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]{1,12}$"));
    if (!digits.match(text.trimmed()).hasMatch())
        return false;
    *value = text.trimmed().toLongLong();
    return true;
}

// The position of a number among a list's items read as numbers; -1 when not there.
int NumberPosition(const QString &text, const QStringList &items, int first = 0)
{
    double v = 0;
    if (!ParseNumber(text, &v))
        return -1;
    for (int i = first; i < items.size(); ++i) {
        if (std::abs(items.at(i).toDouble() - v) < 1e-9)
            return i;
    }
    return -1;
}

QString Offered(const QStringList &items, int first = 0)
{
    return items.mid(first).join(QStringLiteral(", "));
}

ParseResult Fail(const QString &error)
{
    ParseResult r;
    r.error = error;
    return r;
}

} // namespace

ParseResult ParseSplitArgs(const QStringList &arguments)
{
    // Help is given whatever else the line holds, as a first aid for a line that is wrong.
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--"))
            break;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            ParseResult r;
            r.ok = true;
            r.args.action = Action::Help;
            return r;
        }
    }

    QHash<QString, QStringList> given; // option -> its values
    QStringList positional;
    bool onlyPositional = false;

    for (int i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        if (onlyPositional || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> inlineValue;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            name = arg.left(eq);
            inlineValue = arg.mid(eq + 1);
        }
        const auto known = Options().constFind(name);
        if (known == Options().constEnd())
            return Fail(QStringLiteral("unknown option %1 (see --help)").arg(name));
        if (given.contains(name))
            return Fail(QStringLiteral("%1 is given more than once").arg(name));
        QStringList values;
        switch (known->kind) {
        case Kind::Flag:
            if (inlineValue)
                return Fail(QStringLiteral("%1 takes no value").arg(name));
            break;
        case Kind::Value:
            if (inlineValue) {
                values << *inlineValue;
            } else {
                if (i + 1 >= arguments.size())
                    return Fail(QStringLiteral("%1 needs a value").arg(name));
                values << arguments.at(++i);
            }
            break;
        case Kind::Pair:
            if (inlineValue)
                return Fail(QStringLiteral("%1 takes two values: %1 START END").arg(name));
            if (i + 2 >= arguments.size())
                return Fail(QStringLiteral("%1 needs two values: %1 START END").arg(name));
            values << arguments.at(i + 1) << arguments.at(i + 2);
            i += 2;
            break;
        }
        given.insert(name, values);
    }

    ParseResult r;
    SplitArgs &a = r.args;

    // A copy keeps the source's streams and container: every option that shapes an
    // encoding would be silently ignored, so it is refused instead.
    // Re-encoded pieces start on their pictures anyway: the option would say nothing there.
    if (given.contains(QStringLiteral("--exact")) && !given.contains(QStringLiteral("--copy")))
        return Fail(QStringLiteral("--exact makes the cuts of a copy frame-exact; it goes only with --copy"));
    if (given.contains(QStringLiteral("--copy"))) {
        static const QStringList kWithCopy = {QStringLiteral("--copy"), QStringLiteral("--exact"),
                                              QStringLiteral("--range"), QStringLiteral("--parts"),
                                              QStringLiteral("--every"), QStringLiteral("--output")};
        QStringList refused;
        for (auto it = given.constBegin(); it != given.constEnd(); ++it) {
            if (!kWithCopy.contains(it.key()))
                refused << it.key();
        }
        refused.sort();
        if (!refused.isEmpty())
            return Fail(QStringLiteral("--copy keeps the source's streams and container; it cannot be combined with %1")
                            .arg(refused.join(QStringLiteral(", "))));
        a.copy = true;
        a.exact = given.contains(QStringLiteral("--exact"));
    }

    if (given.contains(QStringLiteral("--format"))) {
        const QString f = given.value(QStringLiteral("--format")).at(0).trimmed().toLower();
        bool found = false;
        for (const FormatName &fn : kFormats) {
            if (f == QLatin1String(fn.name)) {
                a.formatName = f;
                a.format = fn.format;
                a.pal = fn.pal;
                a.mpeg1 = fn.mpeg1;
                found = true;
            }
        }
        if (!found)
            return Fail(QStringLiteral("--format %1: choose one of %2")
                            .arg(f, FormatNames().join(QStringLiteral(", "))));
    }

    for (auto it = given.constBegin(); it != given.constEnd(); ++it) {
        const QList<OutFormat> &formats = Options().value(it.key()).formats;
        if (!formats.isEmpty() && !formats.contains(a.format))
            return Fail(QStringLiteral("%1 does not apply to the %2 format (it applies to %3)")
                            .arg(it.key(), a.formatName, FormatsOf(formats)));
    }

    if (given.contains(QStringLiteral("--list-codecs"))) {
        a.action = Action::ListCodecs;
        r.ok = true;
        return r;
    }

    if (positional.isEmpty())
        return Fail(QStringLiteral("no input file given (see --help)"));
    if (positional.size() > 1)
        return Fail(QStringLiteral("more than one input file given: %1")
                        .arg(positional.join(QStringLiteral(", "))));
    a.input = positional.at(0);

    const int modes = int(given.contains(QStringLiteral("--range")))
                      + int(given.contains(QStringLiteral("--parts")))
                      + int(given.contains(QStringLiteral("--every")));
    if (modes == 0)
        return Fail(QStringLiteral("no split mode given: use --range START END, --parts N or --every T"));
    if (modes > 1)
        return Fail(QStringLiteral("choose one split mode: --range, --parts or --every"));

    if (given.contains(QStringLiteral("--range"))) {
        const QStringList v = given.value(QStringLiteral("--range"));
        a.mode = smCustom;
        if (!ParseNumber(v.at(0), &a.start) || !ParseNumber(v.at(1), &a.end))
            return Fail(QStringLiteral("--range %1 %2: START and END are seconds, such as 12.5")
                            .arg(v.at(0), v.at(1)));
        if (a.start < 0 || a.end < 0)
            return Fail(QStringLiteral("--range %1 %2: times start at 0").arg(v.at(0), v.at(1)));
    } else if (given.contains(QStringLiteral("--parts"))) {
        const QString v = given.value(QStringLiteral("--parts")).at(0);
        a.mode = smAverage;
        if (!ParseWhole(v, &a.parts) || a.parts < 2 || a.parts > 100)
            return Fail(QStringLiteral("--parts %1: the number of parts is a whole number from 2 to 100").arg(v));
    } else {
        a.mode = smTime;
        a.every = given.value(QStringLiteral("--every")).at(0);
    }

    if (given.contains(QStringLiteral("--output"))) {
        a.output = given.value(QStringLiteral("--output")).at(0);
        if (a.output.trimmed().isEmpty())
            return Fail(QStringLiteral("--output needs a folder"));
    }
    a.stretch = given.contains(QStringLiteral("--stretch"));
    a.ac3 = given.contains(QStringLiteral("--ac3"));
    a.noVideoCompress = given.contains(QStringLiteral("--no-video-compress"));
    a.noAudioCompress = given.contains(QStringLiteral("--no-audio-compress"));

    if (given.contains(QStringLiteral("--size"))) {
        const QString v = given.value(QStringLiteral("--size")).at(0);
        static const QRegularExpression form(QStringLiteral("^\\s*([0-9]{1,5})\\s*[xX×]\\s*([0-9]{1,5})\\s*$"));
        const QRegularExpressionMatch m = form.match(v);
        if (!m.hasMatch())
            return Fail(QStringLiteral("--size %1: give the size as WIDTHxHEIGHT, such as 352x240").arg(v));
        const QSize size(m.captured(1).toInt(), m.captured(2).toInt());
        if (a.format == OutFormat::MPEG) {
            if (size.width() < MpegSizeMin || size.width() > MpegSizeMax
                || size.height() < MpegSizeMin || size.height() > MpegSizeMax)
                return Fail(QStringLiteral("--size %1: width and height go from %2 to %3 for MPEG")
                                .arg(v).arg(MpegSizeMin).arg(MpegSizeMax));
        } else {
            bool offered = false;
            QStringList sizes;
            for (int i = 1; i < PicSizeItems().size(); ++i) {
                const PicSizeItem &p = PicSizeItems().at(i);
                sizes << QStringLiteral("%1x%2").arg(p.width).arg(p.height);
                offered = offered || (p.width == size.width() && p.height == size.height());
            }
            if (!offered)
                return Fail(QStringLiteral("--size %1: AVI sizes are %2 (without --size, the source's own size)")
                                .arg(v, sizes.join(QStringLiteral(", "))));
        }
        a.size = size;
    }

    auto listValue = [&](const char *option, const QStringList &items, const QString &unit,
                         int *pos) -> bool {
        const QString name = QString::fromLatin1(option);
        if (!given.contains(name))
            return true;
        const QString v = given.value(name).at(0);
        *pos = NumberPosition(v, items);
        if (*pos < 0) {
            r.error = QStringLiteral("%1 %2: choose one of %3%4").arg(name, v, Offered(items), unit);
            return false;
        }
        return true;
    };
    QStringList kbits;
    for (int b : MpegVideoBitValues())
        kbits << QString::number(b / 1000);
    if (!listValue("--video-bitrate", kbits, QStringLiteral(" (kbit/s)"), &a.mpegVideoBitPos)
        || !listValue("--audio-rate", AudioSampleItems(), QStringLiteral(" (Hz)"), &a.audioSamplePos)
        || !listValue("--audio-bitrate", AudioBitItems(), QStringLiteral(" (kbit/s)"), &a.audioBitPos))
        return r;

    if (given.contains(QStringLiteral("--fps"))) {
        if (a.format == OutFormat::MPEG) {
            if (!listValue("--fps", MpegFrameItems(), QString(), &a.mpegFramePos))
                return r;
        } else {
            const QString v = given.value(QStringLiteral("--fps")).at(0);
            double rate = 0;
            if (!ParseNumber(v, &rate) || rate <= 0 || rate > 1000)
                return Fail(QStringLiteral("--fps %1: the frame rate is a number above 0 and up to 1000").arg(v));
            a.aviFramePos = NumberPosition(v, AviFrameItems(), 1);
            if (a.aviFramePos < 0)
                a.aviFrameRate = rate;
        }
    }

    a.vcodec = given.value(QStringLiteral("--vcodec")).value(0);
    a.acodec = given.value(QStringLiteral("--acodec")).value(0);
    if (given.contains(QStringLiteral("--vcodec")) && a.vcodec.trimmed().isEmpty())
        return Fail(QStringLiteral("--vcodec needs a codec name (see --list-codecs)"));
    if (given.contains(QStringLiteral("--acodec")) && a.acodec.trimmed().isEmpty())
        return Fail(QStringLiteral("--acodec needs a codec name (see --list-codecs)"));

    if (given.contains(QStringLiteral("--wmv-profile")) && given.contains(QStringLiteral("--wmv-profile-file")))
        return Fail(QStringLiteral("choose one of --wmv-profile and --wmv-profile-file"));
    if (given.contains(QStringLiteral("--wmv-profile"))) {
        const QString v = given.value(QStringLiteral("--wmv-profile")).at(0);
        qint64 n = 0;
        if (!ParseWhole(v, &n) || n > 100000)
            return Fail(QStringLiteral("--wmv-profile %1: give the profile's number (see --list-codecs)").arg(v));
        a.wmvProfile = int(n);
    }
    if (given.contains(QStringLiteral("--wmv-profile-file"))) {
        a.wmvProfileFile = given.value(QStringLiteral("--wmv-profile-file")).at(0);
        if (a.wmvProfileFile.trimmed().isEmpty())
            return Fail(QStringLiteral("--wmv-profile-file needs a file"));
    }

    r.ok = true;
    return r;
}

namespace {

int NamePosition(const QStringList &names, const QString &wanted)
{
    int pos = names.indexOf(wanted);
    if (pos < 0) {
        // Case is forgiven when it leaves no doubt.
        for (int i = 0; i < names.size(); ++i) {
            if (names.at(i).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0) {
                if (pos >= 0)
                    return -1;
                pos = i;
            }
        }
    }
    return pos;
}

QString Quoted(const QStringList &names)
{
    QStringList q;
    for (const QString &n : names)
        q << QLatin1Char('"') + n + QLatin1Char('"');
    return q.isEmpty() ? QStringLiteral("none") : q.join(QStringLiteral(", "));
}

} // namespace

std::optional<OutputChoice> ResolveOutputChoice(const SplitArgs &a, const ComponentLists &lists,
                                                const QString &programFolder, QString *error)
{
    OutputChoice c;
    c.format = a.format;
    c.RadBtPal = a.pal;
    c.RadBtMpg1 = a.mpeg1;
    c.RadBtMode2 = !a.stretch;

    c.cmbAVIVideoEncoder = DefaultVideoCompressor(lists.videoCodecs);
    c.cmbAVIAudioEncoder = DefaultAudioCompressor(lists.audioCodecs);
    c.cboWMV = lists.wmvProfiles.isEmpty() ? -1 : 0;
    c.cboCusWMV = CustomWmvProfileItems().at(0);

    if (a.format == OutFormat::MPEG) {
        if (a.size) {
            c.edtWidth = a.size->width();
            c.edtHeight = a.size->height();
        }
        if (a.mpegVideoBitPos >= 0)
            c.cmbMPEGVideoBit = a.mpegVideoBitPos;
        if (a.mpegFramePos >= 0)
            c.cmbMpegFrame = a.mpegFramePos;
        if (a.audioSamplePos >= 0)
            c.cmbAudioSample = a.audioSamplePos;
        if (a.audioBitPos >= 0)
            c.cmbAudioBit = a.audioBitPos;
        c.mpegAC3 = a.ac3;
    }

    if (a.format == OutFormat::AVI) {
        if (a.size) {
            for (int i = 1; i < PicSizeItems().size(); ++i) {
                if (PicSizeItems().at(i).width == a.size->width()
                    && PicSizeItems().at(i).height == a.size->height())
                    c.cboPicSize = i;
            }
        }
        if (a.aviFramePos >= 0)
            c.cboAVIFrame = a.aviFramePos;
        c.aviFrameRate = a.aviFrameRate;
        c.ckbAVIVideoEncoder = a.noVideoCompress;
        c.ckbAVIAudioEncoder = a.noAudioCompress;
        if (!a.vcodec.isEmpty()) {
            c.cmbAVIVideoEncoder = NamePosition(lists.videoCodecs, a.vcodec);
            if (c.cmbAVIVideoEncoder < 0) {
                *error = QStringLiteral("--vcodec %1: the video codecs are %2")
                             .arg(a.vcodec, Quoted(lists.videoCodecs));
                return std::nullopt;
            }
        }
        if (!a.acodec.isEmpty()) {
            c.cmbAVIAudioEncoder = NamePosition(lists.audioCodecs, a.acodec);
            if (c.cmbAVIAudioEncoder < 0) {
                *error = QStringLiteral("--acodec %1: the audio codecs are %2")
                             .arg(a.acodec, Quoted(lists.audioCodecs));
                return std::nullopt;
            }
        }
    }

    if (a.format == OutFormat::WMV) {
        if (a.wmvProfile) {
            if (*a.wmvProfile >= lists.wmvProfiles.size()) {
                *error = QStringLiteral("--wmv-profile %1: the profiles are numbered 0 to %2 (see --list-codecs)")
                             .arg(*a.wmvProfile)
                             .arg(lists.wmvProfiles.size() - 1);
                return std::nullopt;
            }
            c.cboWMV = *a.wmvProfile;
        } else if (!a.wmvProfileFile.isEmpty()) {
            const QFileInfo given(a.wmvProfileFile);
            const QFileInfo named(CustomProfilePath(programFolder, a.wmvProfileFile));
            if (given.isFile()) {
                c.wmvCustomFile = given.absoluteFilePath();
            } else if (!a.wmvProfileFile.contains(QLatin1Char('/')) && named.isFile()) {
                c.chkCustomProfile = true;
                c.cboCusWMV = a.wmvProfileFile;
            } else {
                *error = QStringLiteral("--wmv-profile-file %1: no such profile file").arg(a.wmvProfileFile);
                return std::nullopt;
            }
        } else if (lists.wmvProfiles.isEmpty()) {
            *error = QStringLiteral("the editing component offers no WMV profile: give --wmv-profile-file");
            return std::nullopt;
        }
    }
    return c;
}

QString UsageText()
{
    return QStringLiteral(
R"(Usage: kestrelcut-split INPUT (--range START END | --parts N | --every T) [options]
       kestrelcut-split --list-codecs

Cuts INPUT into pieces and renders each into a file of its own, named as the
Kestrelcut window names them: NAME_new0.EXT for a range (NAME_new1.EXT and so on
when that exists), NAME_new(1).EXT, NAME_new(2).EXT ... for parts and by-time
pieces (these replace files of the same name).

Split mode (exactly one):
  --range START END        one piece from START to END, in seconds (decimals allowed);
                           END may lie up to one second past the end of the source
  --parts N                N equal parts, N from 2 to 100
  --every T                one piece every T seconds (a whole number above 0); the last
                           piece holds the rest of the source

Output:
  --copy                   copy the source's streams without re-encoding: the pieces
                           keep its container and extension and start on keyframes;
                           consecutive pieces hold every picture once (a piece without
                           a keyframe of its own joins its neighbour). Only --output
                           and --exact go with it
  --exact                  with --copy: every piece starts on the picture at its planned
                           start and ends where the next one starts; only the pictures
                           between a cut and the nearest keyframe are encoded again, with
                           the source's codec (H.264 in MP4/MOV/MKV/TS, MPEG-4 in AVI,
                           MPEG-2 in MPEG-PS/TS; other videos are cut on keyframes, and a
                           note says so)
  --format F               vcd-pal, vcd-ntsc (default), svcd-pal, svcd-ntsc, dvd-pal,
                           dvd-ntsc, mpeg1, mpeg2, avi or wmv
  --output DIR             folder for the pieces (default: the current folder)

VCD, SVCD and DVD:
  --stretch                fill the output size; by default the source's aspect ratio
                           is kept

MPEG-1 and MPEG-2 (mpeg1, mpeg2):
  --size WxH               picture size, each side 48 to 999 (default 352x240)
  --video-bitrate KBPS     500, 800, 1000, 1200, 1500 (default), 1800, 2000, 2500, 3000,
                           4000, 5000, 6000 or 8000
  --fps R                  25 or 29.97 (default)
  --audio-rate HZ          32000, 44100 (default) or 48000
  --audio-bitrate KBPS     128, 160, 192 or 224 (default)
  --ac3                    AC-3 sound instead of MPEG audio

AVI:
  --size WxH               80x60, 96x72, 128x96, 160x120, 176x144, 192x144, 240x180,
                           320x200, 320x240, 352x240, 352x288, 480x480, 640x480,
                           720x480 or 720x576 (default: the source's own size)
  --fps R                  any frame rate above 0 and up to 1000 (default: the source's)
  --vcodec NAME            video codec by name (see --list-codecs; default: DV Video
                           Encoder or XviD MPEG-4 Codec when offered, else the first)
  --acodec NAME            audio codec by name (default: PCM when offered, else the first)
  --no-video-compress      write the picture uncompressed
  --no-audio-compress      write the sound uncompressed

WMV:
  --wmv-profile N          profile number N from --list-codecs (default 0)
  --wmv-profile-file FILE  a custom profile file, or the name of one in the program
                           folder's Profiles/ (without ".prx")

Other:
  --list-codecs            print the video codecs, audio codecs and WMV profiles the
                           editing component offers, with their numbers, and exit
  -h, --help               print this help and exit

Progress goes to standard error (a live bar on a terminal); the path of each
finished piece is printed on standard output. Ctrl+C stops the running render,
removes its unfinished file and exits with status 130.

Exit status: 0 every piece was written; 1 the input or an option was refused;
2 a render failed.
)");
}

} // namespace kc::cli
