#include "updater/singleinstanceguard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QSharedMemory>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

QString SingleInstanceGuard::lockFilePath(const QString &key)
{
    const QString hash
        = QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
    // Qt checks that this folder is the user's own and private, and makes one when it is missing.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("torval_updater_%1.lock").arg(hash));
#ifdef Q_OS_WIN
    const QString user = qEnvironmentVariable("USERNAME");
#else
    const QString user = QString::number(::getuid());
#endif
    return QDir::temp().filePath(QStringLiteral("torval_updater_%1_%2.lock").arg(user, hash));
}

SingleInstanceGuard::SingleInstanceGuard(const QString &key)
{
#ifdef Q_OS_WIN
    m_memory = std::make_unique<QSharedMemory>(key);
    if (m_memory->create(1, QSharedMemory::ReadWrite))
        return;
    if (m_memory->error() == QSharedMemory::AlreadyExists)
        m_anotherRunning = true;
    else
        m_error = m_memory->errorString();
#else
    m_lock = std::make_unique<QLockFile>(lockFilePath(key));
    // Only a dead owner makes the lock stale, never its age: an update may take minutes.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return;
    if (m_lock->error() == QLockFile::LockFailedError)
        m_anotherRunning = true;
    else
        m_error = QStringLiteral("lock file error %1 (%2)")
                      .arg(static_cast<int>(m_lock->error()))
                      .arg(QDir::toNativeSeparators(lockFilePath(key)));
#endif
}

SingleInstanceGuard::~SingleInstanceGuard() = default;
