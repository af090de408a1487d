#include "firewall/firewallbackend.h"

#include "firewall/nftfirewallbackend.h"
#include "firewall/pkexecfirewallbackend.h"
#include "firewall/windowsfirewallbackend.h"
#include "platform/platform.h"

#include <QtGlobal>

std::unique_ptr<FirewallBackend> FirewallBackend::createDefault()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsFirewallBackend>();
#else
    // Root or a capability changes the firewall itself; an installed, unprivileged
    // KESTREL asks its helper.
    if (!platform::isUserAdmin()) {
        const std::string helper = platform::installedFirewallHelper();
        if (!helper.empty())
            return std::make_unique<PkexecFirewallBackend>(QString::fromStdString(helper));
    }
    return std::make_unique<NftFirewallBackend>();
#endif
}

namespace firewall {

bool isRunningAsAdmin()
{
    return platform::isUserAdmin() || !platform::installedFirewallHelper().empty();
}

} // namespace firewall
