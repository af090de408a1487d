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

bool statusGrantsNetAdmin(const QByteArray &procStatus)
{
    constexpr int capNetAdmin = 12;
    const QList<QByteArray> lines = procStatus.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("CapEff:"))
            continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (mask & (1ULL << capNetAdmin));
    }
    return false;
}

bool isRunningAsAdmin()
{
#ifdef Q_OS_WIN
    return platform::isUserAdmin();
#else
    QFile status(QStringLiteral("/proc/self/status"));
    // procfs files report size 0: read to the end rather than trusting atEnd().
    return status.open(QIODevice::ReadOnly) && statusGrantsNetAdmin(status.readAll());
#endif
}

} // namespace firewall
