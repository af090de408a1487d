#pragma once

// The updater's work: the release check, the update dialog, the download and the
// replacement of the main program. The replacement never loses the program: the download is
// checked before anything is touched, the current program is moved aside by rename, and it is
// moved back and started again unless the new one is still running a few seconds later.

#include "updater/updaterprotocol.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QLabel;
class QProgressBar;
class QTimer;

// Every wait of the updater. The defaults are the shipped values; tests shorten
// them through UpdaterEngine::setTimingsForTest.
struct UpdaterTimings
{
    int startDelayMs = 500;
    int overallTimeoutMs = 300000;
    int checkNoticeMs = 1000;
    int checkTimeoutMs = 20000;
    int quitNoUpdateSilentMs = 100;
    int quitNoUpdateMs = 3000;
    int downloadTimeoutMs = 120000;
    int progressTickMs = 1000;
    int installAfterDownloadMs = 1500;
    int finalDialogMs = 2000;
    int sleepBeforeKillMs = 1000;
    int sleepAfterKillMs = 2000;
    int retrySleepMs = 500;
    int watchNewProgramMs = 3000; // the new program must still run this long after its start
    int quitAfterInstallMs = 1000;
    int quitAfterFailureMs = 3000;

    // The waits of a test run: every pause a few milliseconds, a check given 3 s, the new program
    // watched for 1 s.
    static UpdaterTimings shortened();
};

class UpdaterEngine : public QObject
{
    Q_OBJECT

public:
    // Reads the command line of this process.
    explicit UpdaterEngine(QObject *parent = nullptr);
    // Reads the given command line (the program name may be included).
    explicit UpdaterEngine(const QStringList &arguments, QObject *parent = nullptr);
    ~UpdaterEngine() override;

    void setSilentMode(bool silent);
    void startUpdateCheck();
    void startSilentUpdateCheck();

    QString currentVersion() const { return m_currentVersion; }
    QString latestVersion() const { return m_latestVersion; }
    QString downloadUrl() const { return m_downloadUrl; }
    QString appExePath() const { return m_appExePath; }
    QString appDir() const { return m_appDir; }
    QString updateFilePath() const { return m_updateFilePath; }
    bool isSilent() const { return m_silentCheck; }

    // Test hooks; the shipped values hold unless a test changes them.
    static void setTimingsForTest(const UpdaterTimings &timings);
    static UpdaterTimings timings();
    static void setBackendForTest(std::optional<UpdaterProtocol::Backend> backend);
    static void setHelperProgramForTest(const QString &program);

    // The main program was installed by the system's package manager, which owns its files:
    // "<program folder>/../share/kestrel/packaged" exists.
    bool isPackagedInstall() const;

signals:
    void updateAvailable(const QString &version, const QString &changelog);
    void updateError(const QString &error);
    void noUpdateAvailable();
    // The updater has nothing more to do; the entry ends the event loop.
    void quitRequested();
    // The installation ended: the new program runs (true), or the update was refused or rolled back (false).
    void installationFinished(bool success);

public slots:
    void checkForUpdates();

private slots:
    void onPowerShellUpdateCheckFinished(QProcess *powershell, int exitCode, QProcess::ExitStatus exitStatus);

private:
    void initialise(const QStringList &arguments);
    void onCheckProcessError(QProcess *process, QProcess::ProcessError error);
    void failCheck(const QString &message);
    void showUpdateDialog(const QString &version, const QString &changelog);
    void showPackagedNotice(const QString &version);
    void requestQuit(int afterMs);

    void downloadUpdate(const QString &url);
    void showProgressDialog();
    void closeProgressDialog();
    void downloadUpdateWithPowerShell(const QString &url);
    void onDownloadOutput(QProcess *process, bool final);
    void handleDownloadLine(const QString &line);
    void onDownloadProcessError(QProcess *process, QProcess::ProcessError error);
    void stopProgressTimer();
    void setStatus(const QString &text);

    void startInstallation();
    QString verifyDownload() const;
    void refuseDownload(const QString &reason);
    void installUpdate();
    void watchNewProgram(qint64 pid, int elapsedMs);
    void finishInstallation();
    void restoreAfterFailure(const QString &message, bool movedAside);
    void endRunningProgram(const QString &exePath);
    bool moveWithRetry(const QString &source, const QString &destination, int maxRetries);
    qint64 startProgram(const QString &path);
    void createDesktopShortcut(
        const QString &targetPath, const QString &shortcutName, const QString &description);

    UpdaterProtocol::Command checkCommand() const;
    UpdaterProtocol::Command downloadCommand(const QString &url) const;

    QString m_latestVersion;
    QString m_downloadUrl;
    QString m_expectedDigest;
    QString m_updateFilePath;
    QString m_currentVersion;
    QString m_appExePath;
    QString m_appDir;
    bool m_silentCheck = false;
    QPointer<QDialog> m_progressDialog;
    QPointer<QProgressBar> m_progressBar;
    QPointer<QLabel> m_statusLabel;
    QTimer *m_progressTimer = nullptr;
    int m_progressCounter = 0;
    QByteArray m_downloadBuffer;
    UpdaterTimings m_timings;
};
