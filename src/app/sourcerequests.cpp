#include "sourcerequests.h"

#include "singleinstance.h"
#include "tfrmmain.h"

#include <QTimer>

namespace kc {

SourceRequests::SourceRequests(SingleInstance *instance, const QString &commandLineFile, QObject *parent)
    : QObject(parent)
    , m_waiting(commandLineFile)
{
    if (instance)
        connect(instance, &SingleInstance::openRequested, this, &SourceRequests::request);
}

void SourceRequests::deliverTo(TFrmMain *window)
{
    m_window = window;
    if (!m_waiting.isEmpty()) {
        const QString path = m_waiting;
        m_waiting.clear();
        request(path);
    }
}

void SourceRequests::request(const QString &path)
{
    if (!m_window) {
        m_waiting = path;
        return;
    }
    // Loading may show a message box: never inside the socket's or the start-up's own call.
    QTimer::singleShot(0, this, [this, path] { deliver(path); });
}

void SourceRequests::deliver(const QString &path)
{
    if (!m_window)
        return;
    m_window->restoreAndActivate();
    m_window->OpenSourceFile(path);
}

} // namespace kc
