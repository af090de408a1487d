#include "overlay/autostart.h"

#include "core/appconfig.h"
#include "core/settingskeys.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>

#ifndef Q_OS_WIN
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#endif

namespace AutoStart {

QString executablePath()
{
#ifndef Q_OS_WIN
    // Inside an AppImage the running binary lives in a mount that vanishes at exit.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty())
        return appImage;
#endif
    return QCoreApplication::applicationFilePath();
}

QString runValue(const QString &program)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"');
}

#ifndef Q_OS_WIN
QString desktopEntryPath()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative value.
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/autostart/torval-kestrel.desktop");
}

QString desktopExecArgument(const QString &program)
{
    QString quoted;
    quoted.reserve(program.size() + 8);
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    QString value;
    value.reserve(quoted.size() + 8);
    value += QLatin1Char('"');
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('%'))
            value += QStringLiteral("%%");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else
            value += c;
    }
    value += QLatin1Char('"');
    return value;
}

QByteArray desktopEntry(const QString &program)
{
    const QString text
        = QStringLiteral("[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=%1\n"
                         "Comment=Ping monitor for Russian Fishing 4\n"
                         "Exec=%2\n"
                         "Terminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n")
              .arg(QLatin1String(SettingsKeys::kAutoStartValueName), desktopExecArgument(program));
    return text.toUtf8();
}
#endif

} // namespace AutoStart

void writeAutoStartEntry(bool enabled)
{
#ifdef Q_OS_WIN
    QSettings run(QLatin1String(SettingsKeys::kAutoStartRunKey), QSettings::NativeFormat);
    if (enabled)
        run.setValue(QLatin1String(SettingsKeys::kAutoStartValueName),
            AutoStart::runValue(AutoStart::executablePath()));
    else
        run.remove(QLatin1String(SettingsKeys::kAutoStartValueName));
    run.sync();
#else
    const QString path = AutoStart::desktopEntryPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            qWarning() << "[AUTOSTART] Cannot remove" << path;
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning() << "[AUTOSTART] Cannot create" << QFileInfo(path).absolutePath();
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(AutoStart::desktopEntry(AutoStart::executablePath())) < 0 || !file.commit())
        qWarning() << "[AUTOSTART] Cannot write" << path << file.errorString();
#endif
}

bool autoStartEntryExists()
{
#ifdef Q_OS_WIN
    // A value written unquoted by an earlier version still counts.
    QSettings run(QLatin1String(SettingsKeys::kAutoStartRunKey), QSettings::NativeFormat);
    return run.contains(QLatin1String(SettingsKeys::kAutoStartValueName));
#else
    QFile file(AutoStart::desktopEntryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An entry the desktop was told to skip does not start anything.
    const QByteArray text = file.read(64 * 1024);
    return text.contains("[Desktop Entry]") && !text.contains("\nHidden=true");
#endif
}
