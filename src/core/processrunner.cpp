#include "core/processrunner.h"

#include <QFileInfo>
#include <QProcess>

namespace {

ProcessRunner::Factory &installedFactory()
{
    static ProcessRunner::Factory factory;
    return factory;
}

} // namespace

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

ProcessResult SystemProcessRunner::run(
    const QString &program, const QStringList &args, int timeoutMs, const QByteArray &input)
{
    ProcessResult result;
    QProcess process;
#ifdef Q_OS_WIN
    // cmd.exe does not understand the \" escapes QProcess would put around quoted parts
    // (name="RF4_Game_Ports"); it gets its command line exactly as written.
    if (QFileInfo(program).fileName().compare(QLatin1String("cmd.exe"), Qt::CaseInsensitive) == 0) {
        process.setProgram(program);
        process.setNativeArguments(args.join(QLatin1Char(' ')));
        process.start();
    } else {
        process.start(program, args);
    }
#else
    process.start(program, args);
#endif
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

bool SystemProcessRunner::startDetached(
    const QString &program, const QStringList &args, const QString &workingDirectory)
{
    return QProcess::startDetached(program, args, workingDirectory);
}
