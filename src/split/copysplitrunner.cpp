#include "copysplitrunner.h"

#include <QMetaObject>

namespace kc {

CopySplitRunner::CopySplitRunner(QObject *parent)
    : QObject(parent)
{
}

CopySplitRunner::~CopySplitRunner()
{
    stop();
}

void CopySplitRunner::start(const CopySplitJob &job)
{
    stop();
    m_stop = 0;
    m_thread = std::thread([this, job] {
        // Reports travel as queued calls on this object: once it is gone they are dropped.
        CopySplitHooks hooks;
        hooks.stop = &m_stop;
        hooks.pieceStarted = [this](int ordinal, int count, const QString &path) {
            QMetaObject::invokeMethod(this, [this, ordinal, count, path] { emit pieceStarted(ordinal, count, path); },
                                      Qt::QueuedConnection);
        };
        int last = -1;
        hooks.progress = [this, &last](int percent) {
            if (percent == last)
                return;
            last = percent;
            QMetaObject::invokeMethod(this, [this, percent] { emit progress(percent); }, Qt::QueuedConnection);
        };
        hooks.note = [this](const QString &line) {
            QMetaObject::invokeMethod(this, [this, line] { emit note(line); }, Qt::QueuedConnection);
        };
        hooks.pieceWritten = [this](const QString &path) {
            QMetaObject::invokeMethod(this, [this, path] { emit pieceWritten(path); }, Qt::QueuedConnection);
        };
        const CopySplitResult result = RunCopySplit(job, hooks);
        QMetaObject::invokeMethod(this, [this, result] { emit finished(result); }, Qt::QueuedConnection);
    });
}

void CopySplitRunner::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = 1;
    m_thread.join();
}

} // namespace kc
