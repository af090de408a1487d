#include "firewall/firewallbackend.h"

#include "firewall/nftfirewallbackend.h"
#include "firewall/windowsfirewallbackend.h"
#include "platform/platform.h"

#include <QtGlobal>

std::unique_ptr<FirewallBackend> FirewallBackend::createDefault()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsFirewallBackend>();
#else
    return std::make_unique<NftFirewallBackend>();
#endif
}

namespace firewall {

bool isRunningAsAdmin()
{
    return platform::isUserAdmin();
}

} // namespace firewall
