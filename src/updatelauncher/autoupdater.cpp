#include "updatelauncher/autoupdater.h"

#include "core/appconfig.h"
#include "core/processrunner.h"
#include "updatelauncher/tlscheck.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

AutoUpdater::AutoUpdater(QObject *parent, const QString &appExePath)
    : QObject(parent)
    , m_appExePath(appExePath.isEmpty() ? QCoreApplication::applicationFilePath() : appExePath)
{ }

QStringList AutoUpdater::updaterCandidateNames()
{
#ifdef Q_OS_WIN
    const QString suffix = QStringLiteral(".exe");
#else
    const QString suffix;
#endif
    QStringList names;
    for (const char *base : {"TORVAL_Updater", "Updater", "RF4_Updater", "TORVAL-Updater"})
        names << QString::fromLatin1(base) + suffix;
    return names;
}

QStringList AutoUpdater::updaterArguments(const QString &appExePath, bool silent)
{
    return {QStringLiteral("--app-path"), appExePath, QStringLiteral("--current-version"),
        QString::fromLatin1(AppConfig::kAppVersion),
        silent ? QStringLiteral("--silent") : QStringLiteral("--show-dialog")};
}

void AutoUpdater::startExternalUpdater(bool silent)
{
    m_silentCheck = silent;
    qDebug() << "Starting external updater (silent:" << silent << ")";

    const QString appDir = QFileInfo(m_appExePath).absolutePath();
    const QStringList candidates = updaterCandidateNames();
    QString updaterPath = appDir + QLatin1Char('/') + candidates.first();
    if (!QFile::exists(updaterPath)) {
        qDebug().noquote() << "Updater not found at:" << updaterPath;
        updaterPath.clear();
        for (const QString &name : candidates) {
            const QString candidate = appDir + QLatin1Char('/') + name;
            if (QFile::exists(candidate)) {
                updaterPath = candidate;
                qDebug().noquote() << "Found updater at:" << updaterPath;
                break;
            }
        }
        if (updaterPath.isEmpty()) {
            qDebug() << "Updater not found in any location";
            if (!silent)
                emit noticeRequested(NoticeKind::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Обновлятор не найден в директории программы."));
            emit updateError(QStringLiteral("Updater not found"));
            return;
        }
    }

    if (!TlsCheck::librariesAvailable(appDir)) {
        qDebug() << "SSL libraries not found";
        if (!silent) {
            const QStringList libraries = TlsCheck::requiredLibraries();
            emit noticeRequested(NoticeKind::Warning, QStringLiteral("Отсутствуют библиотеки"),
                QStringLiteral("Для работы обновлятора необходимы библиотеки:\n• %1\n• %2")
                    .arg(libraries.at(0), libraries.at(1)));
        }
        emit updateError(QStringLiteral("SSL libraries missing"));
        return;
    }

    const QStringList arguments = updaterArguments(m_appExePath, silent);
    qDebug().noquote() << "Starting updater:" << updaterPath
                       << "Arguments:" << arguments.join(QLatin1Char(' '));

    if (!ProcessRunner::create()->startDetached(updaterPath, arguments, appDir)) {
        qDebug() << "Failed to start updater";
        if (!silent)
            emit noticeRequested(NoticeKind::Critical, QStringLiteral("Ошибка"),
                QStringLiteral("Не удалось запустить обновлятор."));
        emit updateError(QStringLiteral("Failed to start updater"));
        return;
    }

    qDebug() << "Updater started successfully";
    if (!silent)
        emit noticeRequested(NoticeKind::Information, QStringLiteral("Обновлятор запущен"),
            QStringLiteral("Проверяем наличие обновлений...\nЕсли найдется новая версия, "
                           "будет показано уведомление."));
    emit updaterStarted();
}
