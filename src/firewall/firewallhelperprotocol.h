#pragma once

// What KESTREL and kestrel-firewall-helper say to each other. The helper takes one
// argument: a preset number "1" to "5" (replace the rule by that preset), "clear"
// (remove it) or "status". After any accepted command it prints the rule as it then
// stands, as two lines of data:
//   rule=present            or  rule=absent
//   ports=9001-9100,9199-9999   (empty when absent or unreadable)

#include <QByteArray>
#include <QString>

#include <optional>

namespace FirewallHelperProtocol {

inline constexpr char kProgramName[] = "kestrel-firewall-helper";
inline constexpr char kStatus[] = "status";
inline constexpr char kClear[] = "clear";

enum ExitCode
{
    Done = 0,
    FirewallFailed = 1, // nft could not do it; the printed status tells what holds now
    Refused = 2, // not a command the helper knows: nothing was run
};

struct RuleState
{
    bool present = false;
    QString ports;
};

QByteArray formatState(const RuleState &state);
// Empty when the text is not the helper's answer.
std::optional<RuleState> parseState(const QByteArray &output);

// The argument that applies preset index (0-4): "1" to "5".
QString presetCommand(int index);

} // namespace FirewallHelperProtocol
