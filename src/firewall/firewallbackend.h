#pragma once

// The operating system's side of the outbound block rule: find it, read its
// remote ports, remove it, install it. Calls block until the tools answer or
// time out; the controller decides what the user sees.

#include <QByteArray>
#include <QString>

#include <memory>

class FirewallBackend
{
public:
    virtual ~FirewallBackend() = default;

    virtual bool ruleExists() = 0;
    // The rule's remote-port list as the firewall reports it; empty when nothing could be read.
    virtual QString currentRulePorts() = 0;
    // Removes every rule of that name. False when the firewall tool reported a failure.
    virtual bool removeRule() = 0;
    // Replaces the rule by one blocking outbound TCP to ports. Refuses (false, nothing
    // run) a list that is not plain ports and ranges.
    virtual bool addRule(const QString &ports) = 0;

    // The backend of the system the program was built for.
    static std::unique_ptr<FirewallBackend> createDefault();
};

namespace firewall {
// Name of the rule (Windows) and of the nftables table (Linux).
inline constexpr char kRuleName[] = "RF4_Game_Ports";

// Holds the rights needed to change the firewall: Administrators membership on
// Windows; on Linux effective CAP_NET_ADMIN, or the installed helper that pkexec runs.
bool isRunningAsAdmin();
} // namespace firewall
