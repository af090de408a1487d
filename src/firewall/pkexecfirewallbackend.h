#pragma once

// The rule for a Linux KESTREL that holds no firewall right: every read and change
// goes through kestrel-firewall-helper, started as root by pkexec under the polkit
// actions shipped with the package (reading asks for nothing; a change asks for an
// administrator's password, remembered for a few minutes).

#include "firewall/firewallbackend.h"
#include "firewall/firewallhelperprotocol.h"

#include <QElapsedTimer>
#include <QStringList>

#include <optional>

class PkexecFirewallBackend final : public FirewallBackend
{
public:
    static constexpr int kReadTimeoutMs = 15000;
    // Long enough for a person to type a password into the polkit agent.
    static constexpr int kChangeTimeoutMs = 120000;
    // One status answer serves the reads that follow it this closely (a detection
    // asks for existence and ports, then the quick check asks again).
    static constexpr int kStateReuseMs = 2000;

    // helper: the helper's absolute path (polkit knows the actions by it).
    // launcher: what starts it as root; empty runs it directly, for a caller that is root.
    explicit PkexecFirewallBackend(QString helper, QString launcher = QStringLiteral("/usr/bin/pkexec"));

    bool ruleExists() override;
    QString currentRulePorts() override;
    bool removeRule() override;
    // Only the exact port list of a preset: the helper knows no other.
    bool addRule(const QString &ports) override;

private:
    // Runs the helper with one command; true when it did it. Keeps the state it reports.
    bool run(const QString &command, int timeoutMs);
    const std::optional<FirewallHelperProtocol::RuleState> &state();

    QString m_helper;
    QString m_launcher;
    std::optional<FirewallHelperProtocol::RuleState> m_state;
    QElapsedTimer m_stateAge;
};
