#include "firewall/firewallhelperprotocol.h"

#include <QList>

namespace FirewallHelperProtocol {

QByteArray formatState(const RuleState &state)
{
    return QByteArray("rule=") + (state.present ? "present" : "absent") + "\nports=" + state.ports.toUtf8()
        + '\n';
}

std::optional<RuleState> parseState(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    if (lines.size() != 2 || !lines[1].startsWith("ports="))
        return std::nullopt;
    RuleState state;
    if (lines[0] == "rule=present")
        state.present = true;
    else if (lines[0] != "rule=absent")
        return std::nullopt;
    state.ports = QString::fromUtf8(lines[1].mid(6));
    return state;
}

QString presetCommand(int index)
{
    return QString::number(index + 1);
}

} // namespace FirewallHelperProtocol
