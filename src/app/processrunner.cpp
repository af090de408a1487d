#include "app/processrunner.h"

#include <QProcess>

namespace {

ProcessRunner::Factory &installedFactory()
{
    static ProcessRunner::Factory factory;
    return factory;
}

}  // namespace

std::unique_ptr<ProcessRunner> ProcessRunner::create()
{
    if (const auto &factory = installedFactory())
        return factory();
    return std::make_unique<SystemProcessRunner>();
}

void ProcessRunner::setFactory(Factory factory)
{
    installedFactory() = std::move(factory);
}

ProcessResult SystemProcessRunner::run(const QString &program, const QStringList &args, int timeoutMs,
                                       const QByteArray &input)
{
    ProcessResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(timeoutMs)) {
        return result;
    }
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();

    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished(1000);
    } else {
        result.crashed = process.exitStatus() == QProcess::CrashExit;
        result.exitCode = process.exitCode();
    }
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

bool SystemProcessRunner::startDetached(const QString &program, const QStringList &args,
                                        const QString &workingDirectory)
{
    return QProcess::startDetached(program, args, workingDirectory);
}
