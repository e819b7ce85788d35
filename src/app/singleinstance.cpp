#include "singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace kc {

namespace {
// One request per line: "open <percent-encoded UTF-8 path>" lines, then "activate", after
// which the running instance hangs up.
const QByteArray kActivate = QByteArrayLiteral("activate");
const QByteArray kOpen = QByteArrayLiteral("open ");
// Nobody but the user can connect; still, a line longer than any path is no request.
constexpr qsizetype kMaxPending = 64 * 1024;

QString runtimeFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir;
}
} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::lockPath() const
{
    return runtimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::serverName() const
{
    // A full path keeps the socket inside the user's own runtime folder.
    return runtimeFolder() + QLatin1Char('/') + m_name;
}

bool SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0); // only a lock whose owner is gone is stale
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        // The lock cannot be made (unwritable folder, ...): run as a first instance anyway.
    }
    // A crashed instance may have left its socket behind.
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(serverName())) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
            }
        });
    }
    return true;
}

void SingleInstance::readRequests(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (line.startsWith(kOpen)) {
            const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(kOpen.size())));
            if (!path.isEmpty())
                emit openRequested(path);
        } else if (line == kActivate) {
            emit activationRequested();
            socket->disconnectFromServer();
            return;
        }
    }
    if (socket->bytesAvailable() > kMaxPending)
        socket->disconnectFromServer();
}

bool SingleInstance::activateRunningInstance(const QString &fileToOpen, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    if (!fileToOpen.isEmpty())
        socket.write(kOpen + fileToOpen.toUtf8().toPercentEncoding() + '\n');
    socket.write(kActivate + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.waitForDisconnected(timeoutMs);
    return written;
}

} // namespace kc
