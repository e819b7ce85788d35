// FileEncoder: cuts a time range out of a video file by copying its packets.
//
//   FileEncoder INPUT -ss hh:mm:ss.mmm -endpos hh:mm:ss.mmm [-exact] -ovc copy -oac copy -o OUTPUT
//
// Progress goes to standard output as "Pos:   12.6s" notes, one write each; a failure ends
// with one line on standard error and a non-zero exit status, and leaves no output file.

#include "cliargs.h"
#include "picturememory.h"
#include "progressnote.h"
#include "streamcopy.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

void InstallSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = &OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocking read returns so the job notices the stop at once.
    sa.sa_flags = 0;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A reader that went away must not end the job before it has cleaned up.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

// One write per note: the reader looks for a whole note within each read.
void WriteNote(const std::string &note)
{
    ssize_t n;
    do {
        n = ::write(STDOUT_FILENO, note.data(), note.size());
    } while (n < 0 && errno == EINTR);
    // Progress is a courtesy: a closed or full pipe does not stop the job.
}

void WriteLine(const std::string &line)
{
    const std::string text = "FileEncoder: " + line + "\n";
    ssize_t n;
    do {
        n = ::write(STDERR_FILENO, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
}

} // namespace

int main(int argc, char **argv)
{
    kc::KeepPictureMemoryForReuse();
    InstallSignals();
    // FFmpeg's own messages would mix with the notes; set FILEENCODER_VERBOSE to see them.
    av_log_set_level(std::getenv("FILEENCODER_VERBOSE") ? AV_LOG_WARNING : AV_LOG_QUIET);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const kc::fileencoder::ArgsResult parsed = kc::fileencoder::ParseEncoderArgs(args);
    if (!parsed.ok) {
        WriteLine(parsed.error + " (" + kc::fileencoder::UsageText() + ")");
        return 2;
    }

    kc::fileencoder::ProgressReporter reporter(&WriteNote);
    kc::fileencoder::CopyHooks hooks;
    hooks.progress = [&reporter](double seconds) { reporter.Report(seconds); };
    hooks.stop = &g_stop;
    hooks.note = [](const std::string &line) { WriteLine(line); };

    const kc::fileencoder::CopyResult result = kc::fileencoder::RunStreamCopy(parsed.args, hooks);
    if (!result.ok) {
        WriteLine(result.error);
        return 1;
    }
    reporter.Final(result.seconds);
    return 0;
}
