#include "core/singleinstance.h"

#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowAnswer = QByteArrayLiteral("ok\n");

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString &key) : m_key(key), m_memory(key) { }

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_memory.isAttached())
        m_memory.detach();
}

QString SingleInstanceGuard::userKey(const QString &base)
{
#ifdef Q_OS_WIN
    return base; // kernel object names without a prefix are per session already
#else
    return base + QLatin1Char('_') + QString::number(::getuid());
#endif
}

QString SingleInstanceGuard::runtimeFolder()
{
    // Qt checks that the folder belongs to the user and is closed to others (0700).
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

QString SingleInstanceGuard::lockFilePath(const QString &key)
{
    return QDir(runtimeFolder()).filePath(key + QStringLiteral(".lock"));
}

SingleInstanceGuard::Result SingleInstanceGuard::acquire()
{
#ifndef Q_OS_WIN
    m_lock = std::make_unique<QLockFile>(lockFilePath(m_key));
    m_lock->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return Result::AlreadyRunning;
        qWarning() << "Instance lock file unusable:" << m_lock->fileName();
        m_lock.reset();
    }
#endif

    if (m_memory.create(1, QSharedMemory::ReadWrite))
        return Result::Acquired;
    if (m_memory.error() != QSharedMemory::AlreadyExists)
        return Result::Unguarded;

#ifndef Q_OS_WIN
    if (m_lock) {
        // We hold the lock, so the segment is a crashed instance's leftover: attaching
        // and detaching as the last user removes it, then it can be made afresh.
        if (m_memory.attach())
            m_memory.detach();
        if (m_memory.create(1, QSharedMemory::ReadWrite))
            return Result::Acquired;
        // A segment we cannot remove belongs to someone else: the lock, in a folder
        // only we can write, still decides.
        qWarning() << "Instance marker taken by another owner; the lock file guards alone";
        return Result::Acquired;
    }
#endif
    return Result::AlreadyRunning;
}

InstanceChannel::InstanceChannel(const QString &key, QObject *parent)
    : QObject(parent), m_key(key), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const bool show = socket->readLine() == kShowRequest;
                if (show)
                    socket->write(kShowAnswer);
                socket->disconnectFromServer();
                if (show)
                    emit showRequested();
            });
        }
    });
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::serverNameFor(const QString &key)
{
    // A socket path is limited to about a hundred bytes; a deep runtime folder falls
    // back to a plain name (in the temporary folder, carrying the user in the key).
    const QString path = QDir(SingleInstanceGuard::runtimeFolder()).filePath(key + QStringLiteral(".sock"));
    return path.toLocal8Bit().size() < 100 ? path : key;
}

QString InstanceChannel::serverName() const
{
    return serverNameFor(m_key);
}

bool InstanceChannel::listen()
{
    const QString name = serverName();
    if (m_server->listen(name))
        return true;
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(name);
        if (m_server->listen(name))
            return true;
    }
    qWarning() << "Instance channel unavailable:" << name << m_server->errorString();
    return false;
}

bool InstanceChannel::requestShow(const QString &key, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverNameFor(key));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine() == kShowAnswer;
}
