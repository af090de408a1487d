#include "updater/updaterengine.h"

#include "core/appconfig.h"
#include "core/processrunner.h"
#include "platform/platform.h"
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
    UpdaterEngine::CopyFunction copy;
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

void UpdaterEngine::setCopyFunctionForTest(CopyFunction copy)
{
    hooks().copy = std::move(copy);
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
        const QString message = checkFailureMessage(output);
        qDebug().noquote() << "PowerShell check failed:" << message;
        if (!m_silentCheck)
            UpdaterUi::showMessage(QMessageBox::Warning, QStringLiteral("Ошибка сети"),
                QStringLiteral("Не удалось проверить обновления через PowerShell.\nОшибка: ") + message,
                true);
        emit updateError(QStringLiteral("PowerShell error: ") + message);
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
        qDebug().noquote() << "Refusing download URL:" << result.url;
        valid = false;
    }
    if (!valid) {
        qDebug() << "Invalid PowerShell output";
        emit updateError(QStringLiteral("Invalid PowerShell output"));
        return;
    }

    m_latestVersion = result.version;
    m_downloadUrl = result.url;
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
    closeProgressDialog();
    UpdaterUi::showFinalDialog(m_timings.finalDialogMs);
    QTimer::singleShot(m_timings.finalDialogMs, this, &UpdaterEngine::installUpdate);
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

    if (QFile::exists(target)) {
        qDebug() << "Creating backup...";
        if (QFile::copy(target, backup))
            qDebug().noquote() << "Backup created successfully:" << backup;
        else
            qDebug() << "Warning: Could not create backup";
    }

    const QString processName = QFileInfo(target).fileName();
    qDebug().noquote() << "Target process name:" << processName;

    sleepMs(m_timings.sleepBeforeKillMs);
    killProcessByName(processName);
    sleepMs(m_timings.sleepAfterKillMs);

    qDebug() << "Copying update file...";
    if (QFile::exists(target)) {
        QFile::remove(target);
        sleepMs(m_timings.sleepAfterDeleteMs);
    }

    if (!copyWithRetry(source, target, 5)) {
        restoreAfterFailure(QStringLiteral("Не удалось скопировать файл обновления после 5 попыток"));
        return;
    }

    qDebug() << "Update copied successfully!";
    QFile::setPermissions(target,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
            | QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::ExeOther);

    qDebug() << "Creating desktop shortcut...";
    createDesktopShortcut(
        target, QStringLiteral("KESTREL"), QStringLiteral("TORVAL KESTREL v%1").arg(m_latestVersion));

    qDebug() << "Cleaning up temporary files...";
    if (QFile::exists(source))
        QFile::remove(source);
    if (QFile::exists(backup))
        QFile::remove(backup);

    qDebug() << "Starting updated application...";
    if (!ProcessRunner::create()->startDetached(target, {}, m_appDir))
        qDebug().noquote() << "Failed to start updated application:" << target;

    qDebug() << "=== INSTALLATION COMPLETE ===";
    emit installationFinished(true);
    QTimer::singleShot(m_timings.quitAfterInstallMs, this, [this]() {
        qDebug() << "Updater exiting...";
        emit quitRequested();
    });
}

void UpdaterEngine::restoreAfterFailure(const QString &message)
{
    const QString target = m_appExePath;
    const QString backup = target + QStringLiteral(".backup");
    qDebug().noquote() << "Installation error:" << message;
    if (QFile::exists(backup)) {
        qDebug() << "Attempting to restore from backup...";
        if (QFile::exists(target))
            QFile::remove(target);
        if (QFile::copy(backup, target)) {
            qDebug() << "Restored from backup successfully";
            if (!ProcessRunner::create()->startDetached(target, {}, m_appDir))
                qDebug().noquote() << "Failed to start restored application:" << target;
        }
    }
    emit installationFinished(false);
    UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Ошибка установки"),
        QStringLiteral("Не удалось установить обновление:\n%1\n\n"
                       "Программа будет запущена в исходном состоянии.")
            .arg(message));
    requestQuit(m_timings.quitAfterFailureMs);
}

void UpdaterEngine::killProcessByName(const QString &processName)
{
    qDebug().noquote() << "Attempting to kill process:" << processName;
    std::vector<uint32_t> ended;
    if (platform::terminateProcessesNamed(processName.toStdString(), &ended) < 0) {
        qDebug() << "Failed to create process snapshot";
        return;
    }
    for (const uint32_t pid : ended)
        qDebug().noquote() << "Killed process:" << processName << "PID:" << pid;
}

bool UpdaterEngine::copyWithRetry(const QString &source, const QString &destination, int maxRetries)
{
    const CopyFunction &copy = hooks().copy;
    for (int attempt = 1; attempt <= maxRetries; ++attempt) {
        const bool copied = copy ? copy(source, destination) : QFile::copy(source, destination);
        if (copied) {
            qDebug() << "File copied successfully on attempt" << attempt;
            return true;
        }
        qDebug() << "Copy attempt" << attempt << "failed, retrying in 500ms...";
        sleepMs(m_timings.copyRetrySleepMs);
        if (QFile::exists(destination))
            QFile::remove(destination);
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
