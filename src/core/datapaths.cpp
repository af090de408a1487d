#include "core/datapaths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace DataPaths {

bool canCreateFilesIn(const QString &folder)
{
    // Asking for permission bits is not enough: root passes every permission test
    // and a read-only mount fails none of them. Only an actual file tells.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".kestrel-write-test-XXXXXX")));
    return probe.open();
}

QString writableFolder(const QString &programFolder)
{
    if (canCreateFilesIn(programFolder))
        return programFolder;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        qWarning() << "[DATA] No writable folder: neither" << programFolder << "nor" << data;
        return programFolder;
    }
    return data;
}

QString writableFolder()
{
    return writableFolder(QCoreApplication::applicationDirPath());
}

} // namespace DataPaths
