#pragma once

// What every harness needs: an application object (Qt SQL and the settings store
// want one), silence (the stores log every line they reject), and a private folder
// for the files the loaders read.

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace Fuzz {

inline void init()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    // Settings and data of the harness stay in a folder of its own.
    static QTemporaryDir home(QStringLiteral("/dev/shm/kestrel-fuzz-XXXXXX"));
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    static QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// A file holding the input, rewritten for each run.
inline QString inputFile(const uint8_t *data, size_t size, const char *name)
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/kestrel-fuzz-XXXXXX"));
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

// A broken promise of the code under test: libFuzzer keeps the input that led here.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace Fuzz
