#include "firewall/pkexecfirewallbackend.h"

#include "core/processrunner.h"
#include "firewall/portrangepreset.h"

#include <QDebug>

using namespace FirewallHelperProtocol;

namespace {

// pkexec's own exit codes, distinct from the helper's.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

} // namespace

PkexecFirewallBackend::PkexecFirewallBackend(QString helper, QString launcher)
    : m_helper(std::move(helper)), m_launcher(std::move(launcher))
{ }

bool PkexecFirewallBackend::run(const QString &command, int timeoutMs)
{
    const QString program = m_launcher.isEmpty() ? m_helper : m_launcher;
    const QStringList args = m_launcher.isEmpty() ? QStringList {command} : QStringList {m_helper, command};
    const ProcessResult result = ProcessRunner::create()->run(program, args, timeoutMs);

    const std::optional<RuleState> reported = parseState(result.standardOutput);
    if (reported || command == QLatin1String(kStatus)) {
        m_state = reported; // a failed read is an answer too: not asked again at once
        m_stateAge.start();
    } else {
        m_stateAge.invalidate(); // a change that said nothing: read the rule afresh
    }
    if (result.succeeded() && reported)
        return true;

    const QString error = QString::fromLocal8Bit(result.standardError).trimmed();
    if (!result.started)
        qWarning() << "[FIREWALL] could not start" << program;
    else if (result.timedOut)
        qWarning() << "[FIREWALL] firewall helper timed out:" << command;
    else if (!m_launcher.isEmpty() && result.exitCode == kPkexecDismissed)
        qWarning() << "[FIREWALL] authentication dismissed:" << command;
    else if (!m_launcher.isEmpty() && result.exitCode == kPkexecNotAuthorized)
        qWarning() << "[FIREWALL] not authorized to run the firewall helper:" << command << error;
    else
        qWarning() << "[FIREWALL] firewall helper failed:" << command << result.exitCode << error;
    return false;
}

const std::optional<RuleState> &PkexecFirewallBackend::state()
{
    if (!m_stateAge.isValid() || m_stateAge.elapsed() > kStateReuseMs)
        run(QLatin1String(kStatus), kReadTimeoutMs);
    return m_state;
}

bool PkexecFirewallBackend::ruleExists()
{
    return state() && state()->present;
}

QString PkexecFirewallBackend::currentRulePorts()
{
    return state() ? state()->ports : QString();
}

bool PkexecFirewallBackend::removeRule()
{
    return run(QLatin1String(kClear), kChangeTimeoutMs);
}

bool PkexecFirewallBackend::addRule(const QString &ports)
{
    const auto &presets = firewall::portRangePresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        if (presets[i].ports == ports)
            return run(presetCommand(int(i)), kChangeTimeoutMs);
    }
    qWarning() << "[FIREWALL] the firewall helper only applies presets, not" << ports;
    return false;
}
