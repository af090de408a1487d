#pragma once

// Runs child programs (netsh, PowerShell, nft, the updater) with an argument list,
// never through a shell string. Tests replace the factory to observe or script runs.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct ProcessResult
{
    bool started = false; // the program could be started at all
    bool timedOut = false; // killed after the time-out
    int exitCode = -1; // valid when started && !timedOut
    bool crashed = false;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return started && !timedOut && !crashed && exitCode == 0; }
};

class ProcessRunner
{
public:
    virtual ~ProcessRunner() = default;

    // Runs program with args, writes input to its standard input (then closes it) and
    // waits at most timeoutMs for it to end; a program still running then is killed.
    virtual ProcessResult run(
        const QString &program, const QStringList &args, int timeoutMs, const QByteArray &input = {})
        = 0;

    // Starts program detached in workingDirectory. Returns false when it cannot start.
    virtual bool startDetached(
        const QString &program, const QStringList &args, const QString &workingDirectory)
        = 0;

    using Factory = std::function<std::unique_ptr<ProcessRunner>()>;
    // The runner the program uses: the real one unless a test installed a factory.
    static std::unique_ptr<ProcessRunner> create();
    // Installs a factory (an empty one restores the real runner).
    static void setFactory(Factory factory);
};

// The real runner, on QProcess.
class SystemProcessRunner final : public ProcessRunner
{
public:
    ProcessResult run(const QString &program, const QStringList &args, int timeoutMs,
        const QByteArray &input = {}) override;
    bool startDetached(
        const QString &program, const QStringList &args, const QString &workingDirectory) override;
};
