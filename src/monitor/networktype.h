#pragma once

// The local network type a game session records: "WI-FI", "ETHERNET" or "UNKNOWN".

#include <QString>

#include <vector>

#include "platform/platform.h"

namespace NetworkType {

QString wifi(); // "WI-FI"
QString ethernet(); // "ETHERNET"
QString unknown(); // "UNKNOWN"

// The first active adapter in list order that is Wi-Fi or Ethernet decides. Adapters of another
// type, without a hardware address or without an IPv4 address are not active.
QString fromAdapters(const std::vector<platform::Adapter> &adapters);

} // namespace NetworkType

// Network type of this machine now.
inline QString detectNetworkType()
{
    return NetworkType::fromAdapters(platform::adapters());
}
