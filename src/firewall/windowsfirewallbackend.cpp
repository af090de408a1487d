#include "firewall/windowsfirewallbackend.h"

#include "core/processrunner.h"
#include "firewall/portrangepreset.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

const QString &cmdProgram()
{
    static const QString program = QStringLiteral("cmd.exe");
    return program;
}

const QString &powerShellProgram()
{
    static const QString program = QStringLiteral("powershell.exe");
    return program;
}

ProcessResult runShell(const QString &command, int timeoutMs)
{
    return ProcessRunner::create()->run(
        cmdProgram(), WindowsFirewallCommands::shellArguments(command), timeoutMs);
}

ProcessResult runPowerShell(const QString &command, int timeoutMs)
{
    return ProcessRunner::create()->run(
        powerShellProgram(), WindowsFirewallCommands::powerShellArguments(command), timeoutMs);
}

// The tools write in the console's 8-bit code page.
QString decoded(const QByteArray &output)
{
    return QString::fromLocal8Bit(output);
}

bool mentionsRule(const ProcessResult &result)
{
    return decoded(result.standardOutput).contains(QLatin1String(firewall::kRuleName), Qt::CaseInsensitive);
}

void logUnfinished(const char *tool, const QString &command, const ProcessResult &result)
{
    if (!result.started)
        qWarning() << "[FIREWALL]" << tool << "could not be started for" << command;
    else if (result.timedOut)
        qWarning() << "[FIREWALL]" << tool << "timed out on" << command;
}

} // namespace

namespace WindowsFirewallCommands {

QString showRule()
{
    return QStringLiteral("netsh advfirewall firewall show rule name=\"%1\"")
        .arg(QLatin1String(firewall::kRuleName));
}

QString getRule()
{
    return QStringLiteral("Get-NetFirewallRule -DisplayName '%1' -ErrorAction SilentlyContinue")
        .arg(QLatin1String(firewall::kRuleName));
}

QString getRulePorts()
{
    return getRule()
        + QStringLiteral(" | Get-NetFirewallPortFilter | Select-Object -ExpandProperty RemotePort");
}

QString removeRulePowerShell()
{
    return getRule() + QStringLiteral(" | Remove-NetFirewallRule -Confirm:`$false");
}

QString deleteRuleNetsh()
{
    return QStringLiteral("netsh advfirewall firewall delete rule name=\"%1\"")
        .arg(QLatin1String(firewall::kRuleName));
}

QString newRulePowerShell(const QString &ports)
{
    return QStringLiteral(
        "New-NetFirewallRule -DisplayName \"%1\" -Description \"Russian Fishing 4 Game Ports - "
        "Block Outbound\" -Direction Outbound -Action Block -Protocol TCP -RemotePort \"%2\" "
        "-Enabled True -Profile Any -ErrorAction Stop")
        .arg(QLatin1String(firewall::kRuleName), ports);
}

QString addRuleNetsh(const QString &ports)
{
    return QStringLiteral("netsh advfirewall firewall add rule name=\"%1\" dir=out action=block protocol=TCP "
                          "remoteport=%2 enable=yes profile=any")
        .arg(QLatin1String(firewall::kRuleName), ports);
}

QStringList shellArguments(const QString &command)
{
    return {QStringLiteral("/c"), command};
}

QStringList powerShellArguments(const QString &command)
{
    return {QStringLiteral("-Command"), command};
}

QString remotePortsFromNetsh(const QString &output)
{
    // Russian netsh first, then English, then the add-rule syntax.
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("Удаленный порт:\\s*([0-9,\\-]+)")),
        QRegularExpression(QStringLiteral("RemotePort:\\s*([0-9,\\-]+)")),
        QRegularExpression(QStringLiteral("remoteport\\s*=\\s*([0-9,\\-]+)")),
    };
    for (const QRegularExpression &pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(output);
        if (match.hasMatch())
            return match.captured(1).trimmed();
    }
    return {};
}

} // namespace WindowsFirewallCommands

using namespace WindowsFirewallCommands;

bool WindowsFirewallBackend::ruleExists()
{
    const ProcessResult netsh = runShell(showRule(), kExistsTimeoutMs);
    logUnfinished("cmd.exe", showRule(), netsh);
    if (mentionsRule(netsh))
        return true;
    const ProcessResult powerShell = runPowerShell(getRule(), kExistsTimeoutMs);
    logUnfinished("powershell.exe", getRule(), powerShell);
    return mentionsRule(powerShell);
}

QString WindowsFirewallBackend::currentRulePorts()
{
    const ProcessResult netsh = runShell(showRule(), kReadPortsTimeoutMs);
    if (!netsh.started || netsh.timedOut) {
        logUnfinished("cmd.exe", showRule(), netsh);
        return {};
    }
    const QString ports = remotePortsFromNetsh(decoded(netsh.standardOutput));
    if (!ports.isEmpty())
        return ports;

    const ProcessResult powerShell = runPowerShell(getRulePorts(), kReadPortsTimeoutMs);
    if (!powerShell.started || powerShell.timedOut) {
        logUnfinished("powershell.exe", getRulePorts(), powerShell);
        return {};
    }
    return decoded(powerShell.standardOutput).trimmed();
}

void WindowsFirewallBackend::runShellCommand(const QString &command)
{
    const ProcessResult result = runShell(command, kShellTimeoutMs);
    logUnfinished("cmd.exe", command, result);
}

void WindowsFirewallBackend::runPowerShellCommand(const QString &command)
{
    const ProcessResult result = runPowerShell(command, kPowerShellTimeoutMs);
    logUnfinished("powershell.exe", command, result);
}

bool WindowsFirewallBackend::removeRule()
{
    // Neither tool reports "nothing to remove" apart from a real failure, so the
    // outcome is judged by reading the rule back, not here.
    runPowerShellCommand(removeRulePowerShell());
    runShellCommand(deleteRuleNetsh());
    return true;
}

bool WindowsFirewallBackend::addRule(const QString &ports)
{
    if (!firewall::isValidPortList(ports)) {
        qWarning() << "[FIREWALL] refusing port list" << ports;
        return false;
    }
    removeRule();
    runPowerShellCommand(newRulePowerShell(ports));
    runShellCommand(addRuleNetsh(ports));
    return true;
}
