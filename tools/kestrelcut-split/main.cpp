// kestrelcut-split: cuts a video into pieces without a window, with the planning, output
// settings, naming and editing component of the Kestrelcut window.
#include "progressreport.h"
#include "splitargs.h"
#include "splitrunner.h"

#include "common/mediainfo.h"
#include "common/programfolder.h"
#include "components/streamcopy/picturememory.h"
#include "components/videoedit/tvideoedit.h"
#include "source/sourceload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace kc;
using namespace kc::cli;

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig)
{
    const int saved = errno;
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

// SIGINT and SIGTERM reach the event loop through a pipe, so that the render is stopped
// and its unfinished file removed on the main thread rather than inside the handler.
bool InstallSignalPipe()
{
    if (::pipe(g_signalPipe) != 0)
        return false;
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

void Print(FILE *f, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), f);
    std::fflush(f);
}

int Refuse(const QString &text)
{
    Print(stderr, QStringLiteral("kestrelcut-split: %1\n").arg(text));
    return ExitRefused;
}

void ListCodecs(TVideoEdit &ve)
{
    const auto section = [](const QString &title, const QStringList &names, int def) {
        QString out = title + QLatin1Char('\n');
        if (names.isEmpty())
            out += QStringLiteral("  (none)\n");
        for (int i = 0; i < names.size(); ++i)
            out += QStringLiteral("  %1%2 %3\n").arg(i, 3).arg(i == def ? QLatin1Char('*') : QLatin1Char(' ')).arg(names.at(i));
        return out;
    };
    const QStringList video = ve.VideoCompressors().names();
    const QStringList audio = ve.AudioCompressors().names();
    const QStringList wmv = ve.WMVProfiles().names();
    Print(stdout, section(QStringLiteral("Video codecs (--vcodec NAME, AVI):"), video, DefaultVideoCompressor(video))
                      + section(QStringLiteral("Audio codecs (--acodec NAME, AVI):"), audio, DefaultAudioCompressor(audio))
                      + section(QStringLiteral("WMV profiles (--wmv-profile N):"), wmv, wmv.isEmpty() ? -1 : 0)
                      + QStringLiteral("* the default\n"));
}

// The source's length as the window finds it: the component first, MediaInfo when the
// component cannot tell; 0 for a file with nothing to split (sound only).
double SourceSeconds(TVideoEdit &ve, const QString &path)
{
    const bool onlySound = ve.IsSoundOnly(path);
    const kc::SourceDuration d = ResolveSourceDuration(
        onlySound ? 0.0 : ve.GetFileDuration(path),
        [&path] {
            LoadMediaInfo(QStringLiteral("MediaInfo.dll"));
            return MediaInfoPlayTimes(path);
        },
        onlySound);
    return d.seconds;
}

int RefuseUnrecognised()
{
    const int code = Refuse(QStringLiteral("无法识别的视频文件!"));
    if (MediaInfoQueryStillRunning())
        std::_Exit(code); // the library is still busy with the file: no teardown under it
    return code;
}

// Fills the job from the command line and the source; the refusal's exit code, or 0.
int ReadJob(const SplitArgs &args, const QFileInfo &input, TVideoEdit &videoEdit, SplitRequest *job)
{
    const QString folderText = args.output.isEmpty() ? QDir::currentPath() : args.output.trimmed();
    const QFileInfo folder(folderText);
    if (!folder.isDir())
        return Refuse(QStringLiteral("--output %1: no such folder").arg(folderText));
    job->input = input.absoluteFilePath();
    job->mode = args.mode;
    job->outputFolder = folder.absoluteFilePath();
    job->inputs.duration = SourceSeconds(videoEdit, job->input);
    if (!(job->inputs.duration > 0))
        return RefuseUnrecognised();
    job->inputs.startTime = args.start;
    job->inputs.endTime = args.end;
    job->inputs.parts = args.parts;
    job->inputs.everyText = args.every;
    const QString refusal = CheckSplitJob(args.mode, job->inputs);
    if (!refusal.isEmpty())
        return Refuse(refusal);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    KeepPictureMemoryForReuse();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelcut-split"));
    SetProgramFolder(QCoreApplication::applicationDirPath());

    const ParseResult parsed = ParseSplitArgs(QCoreApplication::arguments().mid(1));
    if (!parsed.ok)
        return Refuse(parsed.error);
    const SplitArgs &args = parsed.args;
    if (args.action == Action::Help) {
        Print(stdout, UsageText());
        return ExitOk;
    }

    TVideoEdit videoEdit;
    if (args.action == Action::ListCodecs) {
        ListCodecs(videoEdit);
        return ExitOk;
    }

    const QFileInfo input(args.input);
    if (!input.exists())
        return Refuse(QStringLiteral("%1: no such file").arg(args.input));
    if (!input.isFile() || !input.isReadable())
        return Refuse(QStringLiteral("%1: not a readable file").arg(args.input));

    SplitRequest job;
    if (args.copy) {
        // The pieces are copied: no output settings are read.
        job.choice.format = OutFormat::Copy;
        job.choice.copyExact = args.exact;
    } else {
        QString error;
        const ComponentLists lists{videoEdit.VideoCompressors().names(), videoEdit.AudioCompressors().names(),
                                   videoEdit.WMVProfiles().names()};
        const std::optional<OutputChoice> choice = ResolveOutputChoice(args, lists, ProgramFolder(), &error);
        if (!choice)
            return Refuse(error);
        job.choice = *choice;
    }
    if (const int refused = ReadJob(args, input, videoEdit, &job))
        return refused;

    if (!InstallSignalPipe())
        return Refuse(QStringLiteral("cannot watch for Ctrl+C"));

    StreamReporter reporter(stderr, stdout, ::isatty(STDERR_FILENO) == 1);
    SplitRunner runner(&videoEdit, job, &reporter);
    QObject::connect(&runner, &SplitRunner::finished, &app, [](int code) { QCoreApplication::exit(code); });

    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &runner, [&] {
        char sig = 0;
        while (::read(g_signalPipe[0], &sig, 1) == 1) {
        }
        reporter.error(QStringLiteral("interrupted: the unfinished piece was removed"));
        runner.interrupt(sig == SIGTERM ? 128 + SIGTERM : ExitInterrupted);
    });

    QTimer::singleShot(0, &runner, &SplitRunner::start);
    return app.exec();
}
