#include "updater/updaterengine.h"

#include "core/appconfig.h"
#include "platform/platform.h"
#include "updater/programcheck.h"
#include "updater/programcontrol.h"
#include "updater/updaterui.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

using namespace UpdaterProtocol;

namespace {

struct Hooks
{
    UpdaterTimings timings;
    std::optional<Backend> backend;
    QString helperProgram;
};

Hooks &hooks()
{
    static Hooks instance;
    return instance;
}

// The installation blocks the GUI thread on purpose: nothing else may run while
// the main program's file is being replaced.
void sleepMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QString processErrorName(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QStringLiteral("FailedToStart");
    case QProcess::Crashed:
        return QStringLiteral("Crashed");
    case QProcess::Timedout:
        return QStringLiteral("Timedout");
    case QProcess::WriteError:
        return QStringLiteral("WriteError");
    case QProcess::ReadError:
        return QStringLiteral("ReadError");
    case QProcess::UnknownError:
        break;
    }
    return QStringLiteral("UnknownError");
}

// Paths for the Qt-free system calls: UTF-8 with native separators on Windows, the
// file-system encoding elsewhere.
std::string systemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(path).toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

// A child reports its end through errorOccurred and/or finished; only the first counts.
bool claim(QProcess *process)
{
    if (process->property("kestrelHandled").toBool())
        return false;
    process->setProperty("kestrelHandled", true);
    return true;
}

} // namespace

UpdaterEngine::UpdaterEngine(QObject *parent) : QObject(parent)
{
    initialise(QCoreApplication::arguments());
}

UpdaterEngine::UpdaterEngine(const QStringList &arguments, QObject *parent) : QObject(parent)
{
    initialise(arguments);
}

UpdaterEngine::~UpdaterEngine()
{
    delete m_progressDialog.data();
}

void UpdaterEngine::initialise(const QStringList &arguments)
{
    m_timings = hooks().timings;
    const Options options = parseArguments(arguments);
    m_currentVersion = options.currentVersion;
    m_appExePath = options.appPath;
    if (m_appExePath.isEmpty()) {
        const QDir ownDir(QCoreApplication::applicationDirPath());
        for (const QString &name : mainProgramCandidates()) {
            if (QFile::exists(ownDir.filePath(name))) {
                m_appExePath = ownDir.filePath(name);
                break;
            }
        }
    }
    m_appDir = m_appExePath.isEmpty() ? QString() : QFileInfo(m_appExePath).absolutePath();

    qDebug() << "=== UPDATER INITIALIZED ===";
    qDebug().noquote() << "App path:" << m_appExePath;
    qDebug().noquote() << "App dir:" << m_appDir;
    qDebug().noquote() << "Current version:" << m_currentVersion;
    qDebug() << "===========================";
}

void UpdaterEngine::setTimingsForTest(const UpdaterTimings &timings)
{
    hooks().timings = timings;
}

UpdaterTimings UpdaterEngine::timings()
{
    return hooks().timings;
}

void UpdaterEngine::setBackendForTest(std::optional<Backend> backend)
{
    hooks().backend = backend;
}

void UpdaterEngine::setHelperProgramForTest(const QString &program)
{
    hooks().helperProgram = program;
}

UpdaterTimings UpdaterTimings::shortened()
{
    UpdaterTimings t;
    t.startDelayMs = 50;
    t.overallTimeoutMs = 8000;
    t.checkNoticeMs = t.quitNoUpdateSilentMs = t.quitNoUpdateMs = 10;
    t.checkTimeoutMs = 3000;
    t.installAfterDownloadMs = t.finalDialogMs = t.quitAfterInstallMs = t.quitAfterFailureMs = 10;
    t.progressTickMs = 20;
    t.sleepBeforeKillMs = t.retrySleepMs = 0;
    t.sleepAfterKillMs = 50;
    t.watchNewProgramMs = 1000;
    return t;
}

bool UpdaterEngine::isPackagedInstall() const
{
    return !m_appDir.isEmpty()
        && QFileInfo::exists(QDir(m_appDir).filePath(QStringLiteral("../share/kestrel/packaged")));
}

Command UpdaterEngine::checkCommand() const
{
    const QString helper
        = hooks().helperProgram.isEmpty() ? QCoreApplication::applicationFilePath() : hooks().helperProgram;
    return UpdaterProtocol::checkCommand(
        hooks().backend.value_or(nativeBackend()), AppConfig::releasesUrl(), helper);
}

Command UpdaterEngine::downloadCommand(const QString &url) const
{
    const QString helper
        = hooks().helperProgram.isEmpty() ? QCoreApplication::applicationFilePath() : hooks().helperProgram;
    return UpdaterProtocol::downloadCommand(
        hooks().backend.value_or(nativeBackend()), url, m_updateFilePath, helper);
}

void UpdaterEngine::setSilentMode(bool silent)
{
    m_silentCheck = silent;
}

void UpdaterEngine::startUpdateCheck()
{
    m_silentCheck = false;
    checkForUpdates();
}

void UpdaterEngine::startSilentUpdateCheck()
{
    m_silentCheck = true;
    checkForUpdates();
}

void UpdaterEngine::requestQuit(int afterMs)
{
    QTimer::singleShot(afterMs, this, &UpdaterEngine::quitRequested);
}

// ---------------------------------------------------------------------------------
// The check

void UpdaterEngine::checkForUpdates()
{
    qDebug() << "Checking for updates via PowerShell...";

    if (!m_silentCheck) {
        auto *notice = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Проверка обновлений"),
            QStringLiteral("⏳ Проверяем наличие обновлений..."), QMessageBox::NoButton);
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->setModal(false);
        notice->show();
        QCoreApplication::processEvents();
        QTimer::singleShot(m_timings.checkNoticeMs, notice, &QWidget::close);
    }

    // The listing decides what gets installed: it is read over https, or over http only from
    // this machine, on either backend.
    const QString releasesUrl = AppConfig::releasesUrl();
    if (!isAcceptableDownloadUrl(releasesUrl)) {
        qDebug().noquote() << "Refusing release listing address:" << releasesUrl;
        failCheck(QStringLiteral("список выпусков читается только по https (http — только с этого "
                                 "компьютера), адрес отклонён: ")
            + releasesUrl);
        return;
    }

    auto *process = new QProcess(this);
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        onPowerShellUpdateCheckFinished(process, exitCode, status);
    });
    connect(process, &QProcess::errorOccurred, this,
        [this, process](QProcess::ProcessError error) { onCheckProcessError(process, error); });

    const Command command = checkCommand();
    process->start(command.program, command.arguments, QIODevice::ReadWrite);

    QTimer::singleShot(m_timings.checkTimeoutMs, process, [process]() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            qDebug() << "PowerShell timeout after 20 seconds";
        }
    });
}

void UpdaterEngine::onCheckProcessError(QProcess *process, QProcess::ProcessError error)
{
    if (!claim(process))
        return;
    qDebug().noquote() << "PowerShell error:" << processErrorName(error);
    process->deleteLater();
    if (!m_silentCheck)
        UpdaterUi::showMessage(QMessageBox::Warning, QStringLiteral("Ошибка"),
            QStringLiteral("Не удалось запустить PowerShell для проверки обновлений."));
    emit updateError(QStringLiteral("PowerShell error"));
}

void UpdaterEngine::onPowerShellUpdateCheckFinished(
    QProcess *powershell, int exitCode, QProcess::ExitStatus exitStatus)
{
    if (exitStatus != QProcess::NormalExit || !claim(powershell))
        return; // a crash or a kill is reported through errorOccurred

    const QString output = QString::fromUtf8(powershell->readAllStandardOutput());
    const QString errorOutput = QString::fromUtf8(powershell->readAllStandardError());
    powershell->deleteLater();
    qDebug() << "PowerShell exit code:" << exitCode;
    qDebug().noquote() << "PowerShell output:" << output;
    if (!errorOutput.isEmpty())
        qDebug().noquote() << "PowerShell error output:" << errorOutput;

    if (exitCode != 0) {
        failCheck(checkFailureMessage(output));
        return;
    }

    const CheckOutput result = parseCheckOutput(output.trimmed());
    if (result.kind == CheckOutput::NoReleases) {
        qDebug() << "No releases found via PowerShell";
        emit noUpdateAvailable();
        if (!m_silentCheck)
            UpdaterUi::showMessage(QMessageBox::Information, QStringLiteral("Обновление"),
                QStringLiteral("Нет информации об обновлениях."));
        return;
    }
    if (result.kind == CheckOutput::NoDownloadUrl) {
        qDebug() << "No download URL found";
        emit noUpdateAvailable();
        return;
    }
    // The version names a file and the address is handed to the downloader: both
    // come from the network and are refused unless they are plainly what they claim.
    bool valid = result.kind == CheckOutput::Release;
    if (valid && !isSafeVersion(result.version)) {
        qDebug().noquote() << "Refusing release version:" << result.version;
        valid = false;
    }
    if (valid && !isAcceptableDownloadUrl(result.url)) {
        qDebug().noquote() << "Refusing download URL (https only, http only from this machine):"
                           << result.url;
        valid = false;
    }
    if (valid && !result.digest.isEmpty() && !isSupportedDigest(result.digest)) {
        qDebug().noquote() << "Refusing release digest:" << result.digest;
        valid = false;
    }
    if (!valid) {
        qDebug() << "Invalid PowerShell output";
        emit updateError(QStringLiteral("Invalid PowerShell output"));
        return;
    }

    m_latestVersion = result.version;
    m_downloadUrl = result.url;
    m_expectedDigest = result.digest.toLower();
    qDebug().noquote() << "PowerShell result - Latest version:" << m_latestVersion;
    qDebug().noquote() << "Download URL:" << m_downloadUrl;

    const int currentCode = versionCode(m_currentVersion);
    const int latestCode = versionCode(m_latestVersion);
    qDebug() << "Current version code:" << currentCode;
    qDebug() << "Latest version code:" << latestCode;

    if (currentCode < latestCode) {
        qDebug() << "Update available via PowerShell!";
        const QString changelog = truncateChangelog(result.changelog);
        emit updateAvailable(m_latestVersion, changelog);
        if (isPackagedInstall())
            showPackagedNotice(m_latestVersion);
        else
            showUpdateDialog(m_latestVersion, changelog);
        return;
    }

    qDebug() << "No update needed";
    emit noUpdateAvailable();
    if (m_silentCheck) {
        requestQuit(m_timings.quitNoUpdateSilentMs);
    } else {
        UpdaterUi::showMessage(QMessageBox::Information, QStringLiteral("Обновление"),
            QStringLiteral("У вас установлена последняя версия программы."));
        requestQuit(m_timings.quitNoUpdateMs);
    }
}

void UpdaterEngine::failCheck(const QString &message)
{
    qDebug().noquote() << "PowerShell check failed:" << message;
    if (!m_silentCheck)
        UpdaterUi::showMessage(QMessageBox::Warning, QStringLiteral("Ошибка сети"),
            QStringLiteral("Не удалось проверить обновления через PowerShell.\nОшибка: ") + message, true);
    emit updateError(QStringLiteral("PowerShell error: ") + message);
}

// The package manager owns the files of a packaged install: replacing them here would be
// undone or clash with the next package upgrade, so the user is only told.
void UpdaterEngine::showPackagedNotice(const QString &version)
{
    qDebug() << "Packaged install: the update is left to the package manager";
    UpdaterUi::showMessage(QMessageBox::Information, QStringLiteral("Доступно обновление"),
        QStringLiteral("Доступна новая версия %1 (установлена %2).\n\n"
                       "KESTREL установлен из пакета, поэтому обновлятор не заменяет его файлы. "
                       "Обновите программу через менеджер пакетов системы.")
            .arg(version, m_currentVersion));
    requestQuit(m_timings.quitNoUpdateMs);
}

void UpdaterEngine::showUpdateDialog(const QString &version, const QString &changelog)
{
    Q_UNUSED(changelog) // not shown: the dialog only names the versions
    const std::unique_ptr<QDialog> dialog = UpdaterUi::createUpdateDialog(m_currentVersion, version);
    if (UpdaterUi::execModal(*dialog) == QDialog::Accepted)
        downloadUpdate(m_downloadUrl);
    else
        emit quitRequested();
}

// ---------------------------------------------------------------------------------
// The download

void UpdaterEngine::downloadUpdate(const QString &url)
{
    if (isPackagedInstall()) {
        showPackagedNotice(m_latestVersion);
        return;
    }
    // The download lands beside the program, so that putting it in place is a rename.
    if (!m_appDir.isEmpty() && !QFileInfo(m_appDir).isWritable()) {
        qDebug().noquote() << "Program folder is not writable:" << m_appDir;
        UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"),
            QStringLiteral("Нет права записи в папку программы:\n%1\n\n"
                           "Обновление не установлено, программа не изменена.")
                .arg(QDir::toNativeSeparators(m_appDir)));
        emit installationFinished(false);
        requestQuit(m_timings.quitAfterFailureMs);
        return;
    }
    qDebug().noquote() << "Starting download via PowerShell:" << url;
    showProgressDialog();
    setStatus(QStringLiteral("Подготовка к загрузке через PowerShell..."));
    QCoreApplication::processEvents();
    downloadUpdateWithPowerShell(url);
}

void UpdaterEngine::showProgressDialog()
{
    if (!m_progressDialog) {
        QProgressBar *bar = nullptr;
        QLabel *status = nullptr;
        m_progressDialog = UpdaterUi::createProgressDialog(&bar, &status);
        m_progressBar = bar;
        m_statusLabel = status;
    }
    UpdaterUi::centreOnPrimaryScreen(m_progressDialog);
    m_progressDialog->show();
    QCoreApplication::processEvents();
}

void UpdaterEngine::closeProgressDialog()
{
    if (m_progressDialog) {
        m_progressDialog->close();
        m_progressDialog->deleteLater();
    }
    m_progressDialog = nullptr;
    m_progressBar = nullptr;
    m_statusLabel = nullptr;
}

void UpdaterEngine::setStatus(const QString &text)
{
    if (m_statusLabel)
        m_statusLabel->setText(text);
}

void UpdaterEngine::stopProgressTimer()
{
    if (m_progressTimer) {
        m_progressTimer->stop();
        m_progressTimer->deleteLater();
        m_progressTimer = nullptr;
    }
}

void UpdaterEngine::downloadUpdateWithPowerShell(const QString &url)
{
    m_updateFilePath = QDir(m_appDir).filePath(updateFileName(m_latestVersion));
    qDebug().noquote() << "Downloading to app directory:" << m_updateFilePath;
    if (QFile::exists(m_updateFilePath))
        QFile::remove(m_updateFilePath);
    m_updateFilePath = QDir::toNativeSeparators(m_updateFilePath);

    m_downloadBuffer.clear();
    auto *process = new QProcess(this);
    connect(process, &QProcess::readyReadStandardOutput, this,
        [this, process]() { onDownloadOutput(process, false); });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus) {
        onDownloadOutput(process, true);
        qDebug() << "PowerShell download process finished with exit code:" << exitCode;
        stopProgressTimer();
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this,
        [this, process](QProcess::ProcessError error) { onDownloadProcessError(process, error); });

    // The timer exists before the start, so that a start failure reported at once stops it.
    stopProgressTimer();
    m_progressCounter = 0;
    m_progressTimer = new QTimer(this);
    connect(m_progressTimer, &QTimer::timeout, this, [this]() {
        if (m_progressCounter > 89)
            return;
        m_progressCounter += 5;
        if (m_progressBar)
            m_progressBar->setValue(m_progressCounter);
        setStatus(QStringLiteral("Загрузка через PowerShell... %1%").arg(m_progressCounter));
        QCoreApplication::processEvents();
    });
    m_progressTimer->start(m_timings.progressTickMs);

    const Command command = downloadCommand(url);
    process->start(command.program, command.arguments, QIODevice::ReadWrite);

    QTimer::singleShot(m_timings.downloadTimeoutMs, process, [this, process]() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            qDebug() << "PowerShell download timeout after 2 minutes";
            stopProgressTimer();
        }
    });
}

void UpdaterEngine::onDownloadOutput(QProcess *process, bool final)
{
    m_downloadBuffer += process->readAllStandardOutput();
    // Lines may arrive in pieces; only whole lines (and the rest at the end) count.
    while (true) {
        const int newline = m_downloadBuffer.indexOf('\n');
        if (newline < 0)
            break;
        const QString line = QString::fromUtf8(m_downloadBuffer.left(newline)).trimmed();
        m_downloadBuffer.remove(0, newline + 1);
        handleDownloadLine(line);
    }
    if (final && !m_downloadBuffer.isEmpty()) {
        const QString line = QString::fromUtf8(m_downloadBuffer).trimmed();
        m_downloadBuffer.clear();
        handleDownloadLine(line);
    }
}

void UpdaterEngine::handleDownloadLine(const QString &line)
{
    if (line.isEmpty())
        return;
    qDebug().noquote() << "PowerShell download output:" << line;
    const DownloadLine parsed = parseDownloadLine(line);
    if (parsed.kind == DownloadLine::Complete) {
        qDebug() << "Download complete via PowerShell, size:" << parsed.size;
        if (m_progressBar)
            m_progressBar->setValue(100);
        setStatus(QStringLiteral("✅ Загрузка завершена через PowerShell!"));
        QCoreApplication::processEvents();
        QTimer::singleShot(m_timings.installAfterDownloadMs, this, &UpdaterEngine::startInstallation);
    } else if (parsed.kind == DownloadLine::Error) {
        qDebug().noquote() << "PowerShell download error:" << parsed.message;
        setStatus(QStringLiteral("❌ Ошибка загрузки через PowerShell"));
        UpdaterUi::showMessage(QMessageBox::Warning, QStringLiteral("Ошибка"),
            QStringLiteral("Не удалось скачать обновление через PowerShell:\n") + parsed.message);
        closeProgressDialog();
    }
}

void UpdaterEngine::onDownloadProcessError(QProcess *process, QProcess::ProcessError error)
{
    qDebug().noquote() << "PowerShell download error:" << processErrorName(error);
    stopProgressTimer();
    setStatus(QStringLiteral("❌ Ошибка PowerShell"));
    UpdaterUi::showMessage(QMessageBox::Warning, QStringLiteral("Ошибка"),
        QStringLiteral("Не удалось запустить PowerShell для загрузки."));
    closeProgressDialog();
    process->deleteLater();
}

// ---------------------------------------------------------------------------------
// The installation

void UpdaterEngine::startInstallation()
{
    qDebug() << "=== STARTING INSTALLATION ===";
    if (m_updateFilePath.isEmpty() || !QFile::exists(m_updateFilePath)) {
        UpdaterUi::showMessage(
            QMessageBox::Critical, QStringLiteral("Ошибка"), QStringLiteral("Файл обновления не найден."));
        return;
    }
    if (m_appExePath.isEmpty() || !QFile::exists(m_appExePath)) {
        UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"),
            QStringLiteral("Основной файл программы не найден."));
        return;
    }
    const QString refusal = verifyDownload();
    if (!refusal.isEmpty()) {
        refuseDownload(refusal);
        return;
    }
    closeProgressDialog();
    UpdaterUi::showFinalDialog(m_timings.finalDialogMs);
    QTimer::singleShot(m_timings.finalDialogMs, this, &UpdaterEngine::installUpdate);
}

// Nothing is touched until the download is a program for this system and, when the release
// lists a digest, the very file that was listed. Returns the reason for refusing it.
QString UpdaterEngine::verifyDownload() const
{
    const QString problem = ProgramCheck::formatProblem(m_updateFilePath);
    if (!problem.isEmpty()) {
        qDebug().noquote() << "Downloaded file is not a program for this system:" << problem;
        return QStringLiteral("Загруженный файл не является программой для этой системы.");
    }
    if (m_expectedDigest.isEmpty()) {
        qDebug() << "No digest listed for the release file: none was checked";
        return QString();
    }
    const QString actual = ProgramCheck::sha256Digest(m_updateFilePath);
    qDebug().noquote() << "Listed digest:" << m_expectedDigest << "Downloaded file:" << actual;
    if (actual != m_expectedDigest)
        return QStringLiteral("Контрольная сумма загруженного файла не совпадает с указанной в выпуске.\n"
                              "Указана:\n%1\nПолучена:\n%2")
            .arg(m_expectedDigest, actual.isEmpty() ? QStringLiteral("файл не читается") : actual);
    qDebug() << "Digest verified";
    return QString();
}

void UpdaterEngine::refuseDownload(const QString &reason)
{
    qDebug().noquote() << "Update refused:" << reason;
    QFile::remove(m_updateFilePath);
    closeProgressDialog();
    emit installationFinished(false);
    UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"),
        reason + QStringLiteral("\n\nОбновление не установлено, программа не изменена."));
    requestQuit(m_timings.quitAfterFailureMs);
}

void UpdaterEngine::installUpdate()
{
    const QString target = m_appExePath;
    const QString backup = target + QStringLiteral(".backup");
    const QString source = m_updateFilePath;

    qDebug() << "=== INSTALLATION PROCESS ===";
    qDebug().noquote() << "Source (update):" << source;
    qDebug().noquote() << "Destination (app):" << target;
    qDebug().noquote() << "Backup:" << backup;
    qDebug().noquote() << "Working directory:" << m_appDir;

    // Executable before it is put in place, so the program's name never names a file that cannot run.
    QFile::setPermissions(source,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
            | QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::ExeOther);

    sleepMs(m_timings.sleepBeforeKillMs);
    endRunningProgram(target);
    sleepMs(m_timings.sleepAfterKillMs);

    // A rename replaces a backup left by an earlier failure only once it has succeeded, so the
    // backup is always the program that was running a moment ago.
    qDebug() << "Creating backup...";
    if (!moveWithRetry(target, backup, 5)) {
        restoreAfterFailure(QStringLiteral("Не удалось переименовать программу в резервную копию"), false);
        return;
    }
    qDebug().noquote() << "Backup created successfully:" << backup;

    qDebug() << "Moving update file into place...";
    if (!moveWithRetry(source, target, 5)) {
        restoreAfterFailure(
            QStringLiteral("Не удалось переместить файл обновления на место программы после 5 попыток"),
            true);
        return;
    }
    qDebug() << "Update moved into place!";

    qDebug() << "Starting updated application...";
    const qint64 pid = startProgram(target);
    if (pid <= 0) {
        restoreAfterFailure(QStringLiteral("Новая версия программы не запускается"), true);
        return;
    }
    watchNewProgram(pid, 0);
}

// The backup goes only once the new program has shown it runs; it is polled rather than
// slept on so that the windows stay painted meanwhile.
void UpdaterEngine::watchNewProgram(qint64 pid, int elapsedMs)
{
    if (!platform::processAlive(static_cast<uint32_t>(pid))) {
        qDebug() << "Updated application ended after" << elapsedMs << "ms";
        restoreAfterFailure(QStringLiteral("Новая версия программы завершилась сразу после запуска"), true);
        return;
    }
    if (elapsedMs >= m_timings.watchNewProgramMs) {
        finishInstallation();
        return;
    }
    const int step = qMin(100, m_timings.watchNewProgramMs - elapsedMs);
    QTimer::singleShot(
        step, this, [this, pid, elapsedMs, step]() { watchNewProgram(pid, elapsedMs + step); });
}

void UpdaterEngine::finishInstallation()
{
    const QString target = m_appExePath;
    qDebug() << "Updated application is running";
    qDebug() << "Creating desktop shortcut...";
    createDesktopShortcut(
        target, QStringLiteral("KESTREL"), QStringLiteral("TORVAL KESTREL v%1").arg(m_latestVersion));

    qDebug() << "Cleaning up temporary files...";
    const QString backup = target + QStringLiteral(".backup");
    if (QFile::exists(backup) && !QFile::remove(backup))
        qDebug().noquote() << "Could not remove the backup:" << backup;

    qDebug() << "=== INSTALLATION COMPLETE ===";
    emit installationFinished(true);
    QTimer::singleShot(m_timings.quitAfterInstallMs, this, [this]() {
        qDebug() << "Updater exiting...";
        emit quitRequested();
    });
}

void UpdaterEngine::restoreAfterFailure(const QString &message, bool movedAside)
{
    const QString target = m_appExePath;
    const QString backup = target + QStringLiteral(".backup");
    const QString nativeTarget = QDir::toNativeSeparators(target);
    qDebug().noquote() << "Installation error:" << message;

    bool inPlace = true;
    if (movedAside) {
        qDebug() << "Attempting to restore from backup...";
        // Over whatever stands at the program's name now: the failed new version.
        inPlace = moveWithRetry(backup, target, 5);
        if (inPlace)
            qDebug() << "Restored from backup successfully";
        else
            qDebug().noquote() << "Restore failed; the previous version stays at:" << backup;
    }
    QFile::remove(m_updateFilePath);

    QString outcome;
    if (!inPlace) {
        outcome = QStringLiteral("Вернуть прежнюю версию не удалось: она сохранена в файле\n%1\n"
                                 "Переименуйте его в\n%2\nи запустите программу.")
                      .arg(QDir::toNativeSeparators(backup), nativeTarget);
    } else if (startProgram(target) <= 0) {
        outcome = QStringLiteral("Прежняя версия программы на месте, но запустить её не удалось:\n%1")
                      .arg(nativeTarget);
    } else {
        outcome = QStringLiteral("Программа будет запущена в исходном состоянии.");
    }
    emit installationFinished(false);
    UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Ошибка установки"),
        QStringLiteral("Не удалось установить обновление:\n%1\n\n%2").arg(message, outcome));
    requestQuit(m_timings.quitAfterFailureMs);
}

qint64 UpdaterEngine::startProgram(const QString &path)
{
    qint64 pid = 0;
    if (!QProcess::startDetached(path, {}, m_appDir, &pid) || pid <= 0) {
        qDebug().noquote() << "Failed to start application:" << path;
        return 0;
    }
    qDebug().noquote() << "Started application:" << path << "PID:" << pid;
    return pid;
}

void UpdaterEngine::endRunningProgram(const QString &exePath)
{
    qDebug().noquote() << "Attempting to kill process:" << exePath;
    std::vector<uint32_t> ended;
    if (platform::terminateProgramAt(systemPath(exePath), &ended) < 0) {
        qDebug().noquote() << "Failed to create process snapshot:" << qt_error_string(-1);
        return;
    }
    for (const uint32_t pid : ended)
        qDebug().noquote() << "Killed process:" << exePath << "PID:" << pid;
}

bool UpdaterEngine::moveWithRetry(const QString &source, const QString &destination, int maxRetries)
{
    const std::string from = systemPath(source);
    const std::string to = systemPath(destination);
    for (int attempt = 1; attempt <= maxRetries; ++attempt) {
        if (ProgramControl::renameReplacing(from, to)) {
            qDebug() << "File moved successfully on attempt" << attempt;
            return true;
        }
        // On Windows the file of a program that is still ending stays locked for a moment.
        qDebug().noquote() << "Move attempt" << attempt
                           << "failed:" << QString::fromStdString(ProgramControl::lastErrorText())
                           << "- retrying in 500ms...";
        sleepMs(m_timings.retrySleepMs);
    }
    return false;
}

void UpdaterEngine::createDesktopShortcut(
    const QString &targetPath, const QString &shortcutName, const QString &description)
{
    qDebug().noquote() << "Shortcut would be created for:" << targetPath;
    qDebug().noquote() << "Name:" << shortcutName;
    qDebug().noquote() << "Description:" << description;
    QFile reminder(
        QFileInfo(targetPath).absoluteDir().filePath(QStringLiteral("create_desktop_shortcut.reminder")));
    if (!reminder.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    reminder.write("Please create desktop shortcut manually");
}
