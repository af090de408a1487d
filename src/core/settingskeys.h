#pragma once

// Every key of the per-user settings store, with the default readers apply.

#include <QSettings>

#include "core/appconfig.h"

namespace SettingsKeys {

inline constexpr char kSafetyAccepted[] = "safetyAccepted"; // bool, false
inline constexpr char kChatUserName[] = "chatUserName"; // string, empty
inline constexpr char kNicknameChangeCount[] = "nicknameChangeCount"; // int, 0
inline constexpr char kAlwaysOnTop[] = "alwaysOnTop"; // bool, true
inline constexpr char kWindowOpacity[] = "windowOpacity"; // int percent, 85
inline constexpr char kAutoStart[] = "autoStart"; // bool, false
inline constexpr char kMiniOverlayEnabled[] = "miniOverlayEnabled"; // bool, true
inline constexpr char kNotificationsEnabled[] = "notificationsEnabled"; // bool, true
inline constexpr char kMiniOverlayOpacity[] = "miniOverlayOpacity"; // int percent, 85
inline constexpr char kMiniHudPos[] = "miniHudPos"; // point, none
inline constexpr char kPingGraphPos[] = "pingGraph/pos"; // point, none (centred on the main window)
inline constexpr char kPingGraphSpan[] = "pingGraph/spanMinutes"; // int 1, 10 or 60; 10
inline constexpr char kUserId[] = "userId"; // 64 hex digits, none
inline constexpr char kLastSuccessfulCheck[] = "lastSuccessfulCheck"; // date-time
inline constexpr char kAvailableVersion[] = "availableVersion"; // string
inline constexpr char kPortHistoryHeaderState[] = "portHistory/headerState"; // byte array
inline constexpr char kPortHistoryColumnWidth[] = "portHistory/columnWidth/%1"; // int per column
inline constexpr char kFavoritePorts[] = "FavoritePorts"; // array of groups
inline constexpr char kFavoritePort[] = "port";
inline constexpr char kFavoriteDescription[] = "description";
inline constexpr char kFavoriteAddedDate[] = "addedDate";
inline constexpr char kFavoriteStatus[] = "status";

inline constexpr bool kDefaultAlwaysOnTop = true;
inline constexpr int kDefaultWindowOpacity = 85;
inline constexpr bool kDefaultAutoStart = false;
inline constexpr bool kDefaultMiniOverlayEnabled = true;
inline constexpr bool kDefaultNotificationsEnabled = true;
inline constexpr int kDefaultMiniOverlayOpacity = 85;
inline constexpr int kDefaultPingGraphSpan = 10;

// Autostart lives outside the store: the Windows Run key of the current user.
inline constexpr char kAutoStartRunKey[]
    = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kAutoStartValueName[] = "TORVAL Kestrel";

} // namespace SettingsKeys

// Opens the program's settings store. There is no long-lived store object:
// readers and writers open it per use; writers call sync() before it closes.
inline QSettings openSettings()
{
    return QSettings(QString::fromLatin1(AppConfig::kSettingsOrganization),
        QString::fromLatin1(AppConfig::kSettingsApplication));
}
