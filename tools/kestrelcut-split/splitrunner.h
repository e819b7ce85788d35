#pragma once

#include "common/planning.h"
#include "split/splitjob.h"

#include <QObject>
#include <QString>

namespace kc {
class TVideoEdit;
}

namespace kc::cli {

// Exit statuses of the splitter.
enum ExitCode { ExitOk = 0, ExitRefused = 1, ExitRenderFailed = 2, ExitInterrupted = 130 };

// What the runner tells as it goes.
class RunReporter
{
public:
    virtual ~RunReporter() = default;
    virtual void pieceStarted(int number, int count, const QString &path) = 0;
    virtual void progress(int percent) = 0;
    virtual void pieceWritten(const QString &path) = 0;
    // The running piece is not written, and that is no failure (why says so).
    virtual void pieceSkipped(const QString &why) = 0;
    virtual void error(const QString &text) = 0;
    // A closing remark that is not an error (the copy's piece count).
    virtual void note(const QString &text) { error(text); }
};

// The closing line of a copy: pieces written, and how many planned pieces were merged.
QString CopySummaryLine(int written, int planned);

// Runs the split job the window runs, re-encoded or copied, tells the reporter what it does,
// and ends with finished(exit code).
class SplitRunner : public QObject
{
    Q_OBJECT
public:
    SplitRunner(TVideoEdit *videoEdit, const SplitRequest &job, RunReporter *reporter,
                QObject *parent = nullptr);

    // Starts the first piece; call it from the running event loop.
    void start();
    // Stops the running piece (its unfinished file is removed) and finishes with code.
    void interrupt(int code = ExitInterrupted);

signals:
    void finished(int exitCode);

private:
    void onFinished(const SplitOutcome &outcome);
    void finish(int code);

    SplitJob m_job;
    SplitRequest m_request;
    RunReporter *m_reporter;
    bool m_done = false;
};

} // namespace kc::cli
