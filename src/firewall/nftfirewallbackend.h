#pragma once

// The rule on Linux: one nftables table of family inet named after the rule,
// holding an output-hook chain that rejects TCP to the blocked destination
// ports with a reset (so the game gives up on a blocked server at once instead
// of waiting for a time-out). The table is the rule: it exists or it does not,
// and it is always replaced as a whole in one transaction.

#include "firewall/firewallbackend.h"

#include <QByteArray>
#include <QStringList>

namespace NftCommands {

inline constexpr int kExistsTimeoutMs = 3000;
inline constexpr int kCommandTimeoutMs = 5000;

// nft identifiers we are willing to write into a script: a letter or "_", then
// letters, digits and "_".
bool isValidTableName(const QString &name);

QStringList listTableArguments(const QString &table); // {"list", "table", "inet", table}
QStringList listTableJsonArguments(const QString &table); // {"-j", "list", "table", "inet", table}
QStringList listTablesArguments(); // {"list", "tables", "inet"}
QStringList scriptArguments(); // {"-f", "-"}: script on standard input

// Removes the table, whether or not it exists (declaring it first makes the
// delete valid in either case).
QByteArray removeScript(const QString &table);
// Replaces the table by one blocking ports; empty when the name or the list is not valid.
QByteArray replaceScript(const QString &table, const QString &ports);

// The ports that the table's drop/reject rules match as TCP destination ports,
// in the firewall's list syntax ("9001-9100,9199-9999"), from `nft -j list table`
// output. Named sets of the table are resolved. Empty when there are none.
QString blockedPortsFromJson(const QByteArray &json);

} // namespace NftCommands

class NftFirewallBackend final : public FirewallBackend
{
public:
    // program: the nft executable; empty looks it up on the search path and in the sbin folders.
    explicit NftFirewallBackend(QString program = {}, QString table = QLatin1String(firewall::kRuleName));

    bool ruleExists() override;
    QString currentRulePorts() override;
    bool removeRule() override;
    bool addRule(const QString &ports) override;

    // One reading that tells a missing table from a failing nft: false when nft could
    // not answer (no right, not installed), else present and ports as the table holds them.
    bool readRule(bool &present, QString &ports);

    QString program() const { return m_program; }

private:
    bool runScript(const QByteArray &script);

    QString m_program;
    QString m_table;
};
