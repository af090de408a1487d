#pragma once

// Starts the updater program that ships beside the main program. The updater then
// checks, downloads and installs on its own; this side never learns its result.

#include <QObject>
#include <QString>
#include <QStringList>

class AutoUpdater : public QObject
{
    Q_OBJECT

public:
    enum class NoticeKind
    {
        Information,
        Warning,
        Critical
    };
    Q_ENUM(NoticeKind)

    // appExePath: the main program's executable (default: this process's own).
    explicit AutoUpdater(QObject *parent = nullptr, const QString &appExePath = QString());

    // Finds the updater, checks the TLS libraries and starts it detached with the
    // main program's folder as working folder. Interactive starts (silent false)
    // ask for a notice through noticeRequested before the result signal.
    void startExternalUpdater(bool silent);

    QString appExePath() const { return m_appExePath; }
    bool lastStartSilent() const { return m_silentCheck; }

    // Updater file names looked for, in order ("TORVAL_Updater.exe", ... on Windows,
    // the same without ".exe" elsewhere).
    static QStringList updaterCandidateNames();

    // Command line handed to the updater.
    static QStringList updaterArguments(const QString &appExePath, bool silent);

signals:
    // Kept for hosts that listen for found updates; the launcher itself never learns
    // of one (the updater shows its own dialog), so it does not emit it.
    void updateAvailable(const QString &version, const QString &changelog);
    void updateError(const QString &error);
    // The updater process was started; whether an update exists is its own business.
    void updaterStarted();
    // A message box the host should show (modal, no parent, OK button) for an
    // interactive start. Emitted before updateError/updaterStarted.
    void noticeRequested(AutoUpdater::NoticeKind kind, const QString &title, const QString &text);

private:
    QString m_appExePath;
    bool m_silentCheck = false;
};
