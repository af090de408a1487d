#include "monitor/networktype.h"

namespace NetworkType {

QString wifi()
{
    return QStringLiteral("WI-FI");
}

QString ethernet()
{
    return QStringLiteral("ETHERNET");
}

QString unknown()
{
    return QStringLiteral("UNKNOWN");
}

QString fromAdapters(const std::vector<platform::Adapter> &adapters)
{
    for (const platform::Adapter &adapter : adapters) {
        if (adapter.type == platform::AdapterType::Other || adapter.hardwareAddressLength == 0)
            continue;
        // Windows lists an adapter without an address as "0.0.0.0"; other systems leave it empty.
        if (adapter.firstIpv4.empty() || adapter.firstIpv4 == "0.0.0.0")
            continue;
        return adapter.type == platform::AdapterType::Wireless ? wifi() : ethernet();
    }
    return unknown();
}

} // namespace NetworkType
