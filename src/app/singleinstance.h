#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace kc {

// Keeps a second copy of the program from running, per user: the first instance holds a
// lock file in the user's runtime folder and listens on a local socket of the same name; a
// later start asks it to bring its window forward (and, when it was started with a file, to
// open that file) and then ends without showing anything.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name = QStringLiteral("RunOnlyOnce_Tolvanekestrelcut"),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first instance (it now holds the lock and listens). A lock that cannot be
    // taken for another reason than a running instance lets the start-up go on as first.
    bool acquire();
    // Second instance: asks the running one to open fileToOpen (when not empty) and to
    // restore and raise its window. False when no running instance answered.
    bool activateRunningInstance(const QString &fileToOpen = QString(), int timeoutMs = 2000);

    QString lockPath() const;
    QString serverName() const;

signals:
    // The first instance was asked (by a later start) to bring its window forward.
    void activationRequested();
    // A later start was given this file; it comes before that start's activationRequested.
    void openRequested(const QString &path);

private:
    void readRequests(QLocalSocket *socket);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace kc
