#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kc {

// Runs the stream-copy encoder as a child process and follows its progress notes, without
// blocking the caller's thread: progress() and finished() arrive through the event loop.
// The child gets no input (its standard input is the null device); its standard output
// and error come back merged. Cancelling, or destroying the job, ends a running child and
// removes its unfinished output.
class StreamCopyJob : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        None,        // not run yet, or still running
        Written,     // exit 0 and the output file is there with content
        StartFailed, // the child could not be started; reason() is the system's text
        Failed,      // the child failed; reason() is its last words (or what went wrong)
        Cancelled,   // cancel() ended it; no output is left
    };

    explicit StreamCopyJob(QObject *parent = nullptr);
    ~StreamCopyJob() override;

    // Starts program (a full path) with arguments; outputPath is the file the child
    // writes, lengthSeconds (> 0) the length of the cut that turns notes into percent.
    // Returns false when a job is still running (nothing changes then).
    bool start(const QString &program, const QStringList &arguments, const QString &outputPath,
               double lengthSeconds);

    bool isRunning() const { return m_process != nullptr; }

    // Ends a running child (politely first), waits for it, removes its output. finished()
    // is emitted before this returns, with Outcome::Cancelled.
    void cancel();

    Outcome outcome() const { return m_outcome; }
    QString reason() const { return m_reason; }
    // The child said an exact cut was asked for but this video cannot have one: the piece
    // starts at the keyframe before the asked time.
    bool notExact() const { return m_notExact; }

signals:
    // Percentage from a progress note; may lie outside 0..100 if the child says so.
    void progress(int percent);
    void finished();

private:
    void readOutput();
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void finish(Outcome outcome, const QString &reason);
    QString lastWords() const;

    QProcess *m_process = nullptr;
    QString m_outputPath;
    double m_length = 0.0;
    bool m_cancelling = false;
    QByteArray m_tail; // the end of the child's output, for its reason on failure
    QByteArray m_lineStart; // an unfinished last line, searched together with the next read
    bool m_notExact = false;
    Outcome m_outcome = Outcome::None;
    QString m_reason;
};

// A process start error as the user reads it: without the name of the failing call and
// without blanks, line breaks and full stops at its end.
QString SystemErrorText(const QString &processError);

} // namespace kc
