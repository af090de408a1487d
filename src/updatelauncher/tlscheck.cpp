#include "updatelauncher/tlscheck.h"

#include <QDir>
#include <QFile>
#include <QLibrary>

namespace TlsCheck {

namespace {

std::optional<bool> &forcedResult()
{
    static std::optional<bool> result;
    return result;
}

} // namespace

QStringList requiredLibraries()
{
#ifdef Q_OS_WIN
    return {QStringLiteral("libssl-3.dll"), QStringLiteral("libcrypto-3.dll")};
#else
    return {QStringLiteral("libssl.so.3"), QStringLiteral("libcrypto.so.3")};
#endif
}

bool libraryAvailable(const QString &folder, const QString &library)
{
    if (forcedResult())
        return *forcedResult();
#ifdef Q_OS_WIN
    return QFile::exists(folder + QLatin1Char('/') + library);
#else
    // A copy beside the program is used first, as the loader would with an $ORIGIN rpath.
    const QString beside = QDir(folder).filePath(library);
    QLibrary lib(QFile::exists(beside) ? beside : library);
    return lib.load();
#endif
}

bool librariesAvailable(const QString &folder)
{
    for (const QString &library : requiredLibraries()) {
        if (!libraryAvailable(folder, library))
            return false;
    }
    return true;
}

void setResultForTest(std::optional<bool> result)
{
    forcedResult() = result;
}

} // namespace TlsCheck
