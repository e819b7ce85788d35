#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace kc {

class SingleInstance;
class TFrmMain;

// Files that reach the program from outside its window: the one named on its command line
// and those that later starts hand over. Until the main window exists the latest of them
// waits (one source at a time); from then on each is loaded in the window, after the
// request that brought it has been answered.
class SourceRequests : public QObject
{
    Q_OBJECT
public:
    SourceRequests(SingleInstance *instance, const QString &commandLineFile, QObject *parent = nullptr);

    // From now on files go to window; a waiting one is loaded once the event loop runs.
    void deliverTo(TFrmMain *window);

    QString waitingFile() const { return m_waiting; }

private:
    void request(const QString &path);
    void deliver(const QString &path);

    QPointer<TFrmMain> m_window;
    QString m_waiting;
};

} // namespace kc
