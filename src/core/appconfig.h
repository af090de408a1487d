#pragma once

// Addresses, names and links a deployer may change. Each service address can be
// replaced at run time by an environment variable, so tests and self-hosters can
// point the programs at their own servers.

#include <QString>

namespace AppConfig {

inline constexpr char kAppName[] = "KESTREL";
inline constexpr char kAppVersion[] = "1.6.3";
inline constexpr char kOrganizationName[] = "TORVAL DEVELOPMENT";

// Settings store names (per-user native store).
inline constexpr char kSettingsOrganization[] = "TORVAL";
inline constexpr char kSettingsApplication[] = "KESTREL";

inline constexpr char kSingleInstanceKey[] = "RF4_Network_Monitor_Instance";

// Presence and shared ports service: "heartbeat.php", "get_ports.php", ... live under it.
// The default is the reference service as scripts/run.sh starts it on this machine.
inline constexpr char kDefaultServiceUrl[] = "http://127.0.0.1:8765/";
inline constexpr char kServiceUrlEnv[] = "KESTREL_SERVICE_URL";

// Public IP-geolocation service answering GET /json/<address>?fields=... .
inline constexpr char kDefaultGeoUrl[] = "http://ip-api.com";
inline constexpr char kGeoUrlEnv[] = "KESTREL_GEO_URL";

// Release listing (a JSON array of releases, newest first).
inline constexpr char kDefaultReleasesUrl[] = "https://api.github.com/repos/torval-dev/kestrel/releases";
inline constexpr char kReleasesUrlEnv[] = "TORVAL_RELEASES_URL";

// The maker, its channel and the product site, shown in the footer.
inline constexpr char kMakerName[] = "TORVAL";
inline constexpr char kChannelUrl[] = "https://t.me/torval_kestrel";
inline constexpr char kWebSiteUrl[] = "https://torval-dev.github.io/kestrel/";

// Base address of the presence and shared ports service, always ending in "/".
QString serviceUrl();
// Base address of the geolocation service, without a trailing "/".
QString geoUrl();
// Full address of the release listing.
QString releasesUrl();

} // namespace AppConfig
