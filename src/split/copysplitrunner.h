#pragma once

#include "copysplit.h"

#include <QObject>
#include <csignal>
#include <thread>

namespace kc {

// Runs a copy split on a thread of its own, so the window stays responsive, and reports
// on the thread that owns it. Deleting it stops the copy (its unfinished piece is removed)
// and drops what the copy had still to report.
class CopySplitRunner : public QObject
{
    Q_OBJECT
public:
    explicit CopySplitRunner(QObject *parent = nullptr);
    ~CopySplitRunner() override;

    void start(const CopySplitJob &job);
    // Stops the copy and waits for it to let go of its files.
    void stop();

signals:
    void pieceStarted(int ordinal, int count, const QString &path);
    void progress(int percent);
    void note(const QString &line);
    void pieceWritten(const QString &path);
    void finished(const kc::CopySplitResult &result);

private:
    std::thread m_thread;
    volatile std::sig_atomic_t m_stop = 0;
};

} // namespace kc
