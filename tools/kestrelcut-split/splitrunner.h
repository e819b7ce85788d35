#pragma once

#include "split/outputsettings.h"
#include "split/planning.h"

#include <QObject>
#include <QString>

namespace kc {
class TVideoEdit;
}

namespace kc::cli {

// Exit statuses of the splitter.
enum ExitCode { ExitOk = 0, ExitRefused = 1, ExitRenderFailed = 2, ExitInterrupted = 130 };

struct SplitJobSpec {
    QString input;          // absolute path of the source
    TSplitMode mode = smCustom;
    SplitInputs inputs;
    OutputChoice choice;
    QString outputFolder;   // as the window's output field would hold it
    bool exact = false;     // --copy --exact: frame-exact copy cuts
};

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

// Renders the pieces one after another with the editing component, as the window's
// render driver does, and ends with finished(exit code).
class SplitRunner : public QObject
{
    Q_OBJECT
public:
    SplitRunner(TVideoEdit *videoEdit, const SplitJobSpec &job, RunReporter *reporter,
                QObject *parent = nullptr);

    // Starts the first piece; call it from the running event loop.
    void start();
    // Stops the running render (its unfinished file is removed) and finishes with code.
    void interrupt(int code = ExitInterrupted);

signals:
    void finished(int exitCode);

private:
    void startPiece(int k);
    void onProcessing(double curPos, double duration);
    void onComplete(bool succeeded, const QString &reason);
    void finish(int code);

    TVideoEdit *m_videoEdit;
    SplitJobSpec m_spec;
    RunReporter *m_reporter;
    int m_piece = 0;       // number of the running piece (0 for the custom range)
    int m_ordinal = 0;     // 1-based, for the progress
    int m_count = 0;
    QString m_path;
    bool m_running = false;
    bool m_done = false;
};

} // namespace kc::cli
