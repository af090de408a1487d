#pragma once

// The rule on Windows, through "cmd.exe /c netsh advfirewall firewall ..." and
// "powershell.exe -Command ..." with the NetSecurity cmdlets. Both tools create
// the rule under the same name; removal goes through both so none is left over.

#include "firewall/firewallbackend.h"

#include <QStringList>

namespace WindowsFirewallCommands {

inline constexpr int kShellTimeoutMs = 3000; // cmd.exe runs of apply and clear
inline constexpr int kPowerShellTimeoutMs = 5000; // powershell.exe runs of apply and clear
inline constexpr int kExistsTimeoutMs = 3000; // both tools while testing existence
inline constexpr int kReadPortsTimeoutMs = 5000; // both tools while reading the ports

QString showRule();
QString getRule();
QString getRulePorts();
QString removeRulePowerShell();
QString deleteRuleNetsh();
// The two add commands; ports must satisfy firewall::isValidPortList.
QString newRulePowerShell(const QString &ports);
QString addRuleNetsh(const QString &ports);

// Program arguments for a command text: it travels as one argument.
QStringList shellArguments(const QString &command); // {"/c", command}
QStringList powerShellArguments(const QString &command); // {"-Command", command}

// The remote-port list from `netsh ... show rule` output (Russian or English), or empty.
QString remotePortsFromNetsh(const QString &output);

} // namespace WindowsFirewallCommands

class WindowsFirewallBackend final : public FirewallBackend
{
public:
    bool ruleExists() override;
    QString currentRulePorts() override;
    bool removeRule() override;
    bool addRule(const QString &ports) override;

    // Both run the command and ignore its result beyond a log line.
    static void runShellCommand(const QString &command);
    static void runPowerShellCommand(const QString &command);
};
