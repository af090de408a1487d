// kestrel-firewall-helper: the one piece of KESTREL that runs as root on Linux, started
// by pkexec for a KESTREL that holds no firewall right itself. It does exactly one of
// seven things, chosen by a single argument it checks before running anything: put in
// preset 1-5, remove the rule, or report it. Nothing from the caller reaches nft but
// that choice; the port lists and the table name are compiled in.

#include "firewall/firewallhelperprotocol.h"
#include "firewall/nftfirewallbackend.h"
#include "firewall/portrangepreset.h"

#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <string>

namespace {

using namespace FirewallHelperProtocol;

int refuse(const char *reason, const std::string &argument = {})
{
    std::string shown;
    for (const unsigned char c : argument.substr(0, 64)) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            shown += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    std::fprintf(stderr, "%s: %s%s%s%s\nusage: %s 1|2|3|4|5|clear|status\n", kProgramName, reason,
        argument.empty() ? "" : " \"", shown.c_str(), argument.empty() ? "" : "\"", kProgramName);
    return Refused;
}

// Only the system's own nft: a caller's PATH is no place to look for what root runs.
QString systemNft()
{
    return QStandardPaths::findExecutable(QStringLiteral("nft"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
            QStringLiteral("/bin")});
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2)
        return refuse(argc < 2 ? "no command" : "exactly one command expected");
    const std::string command = argv[1];
    int preset = -1;
    if (command.size() == 1 && command[0] >= '1' && command[0] <= '0' + firewall::kPresetCount)
        preset = command[0] - '1';
    else if (command != kClear && command != kStatus)
        return refuse("unknown command", command);

    const QString nft = systemNft();
    if (nft.isEmpty()) {
        std::fprintf(stderr, "%s: nft (nftables) is not installed\n", kProgramName);
        return FirewallFailed;
    }
    NftFirewallBackend backend(nft);
    bool done = true;
    if (preset >= 0)
        done = backend.addRule(firewall::portRangePresets()[size_t(preset)].ports);
    else if (command == kClear)
        done = backend.removeRule();

    RuleState state;
    if (!backend.readRule(state.present, state.ports))
        return FirewallFailed;
    const QByteArray answer = formatState(state);
    std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
    return done ? Done : FirewallFailed;
}
