#include "firewall/firewallbackend.h"

#include "firewall/nftfirewallbackend.h"
#include "firewall/windowsfirewallbackend.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include "platform/platform.h"
#else
#include <QFile>
#endif

std::unique_ptr<FirewallBackend> FirewallBackend::createDefault()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsFirewallBackend>();
#else
    return std::make_unique<NftFirewallBackend>();
#endif
}

namespace firewall {

#ifndef Q_OS_WIN
namespace {
constexpr int kCapNetAdmin = 12;

bool hasEffectiveNetAdmin()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (!line.startsWith("CapEff:"))
            continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (mask & (1ULL << kCapNetAdmin));
    }
    return false;
}
} // namespace
#endif

bool isRunningAsAdmin()
{
#ifdef Q_OS_WIN
    return platform::isUserAdmin();
#else
    return hasEffectiveNetAdmin();
#endif
}

} // namespace firewall
