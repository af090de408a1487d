#pragma once

// The main window's own style sheet; the object names it selects are fixed.

#include <QString>

namespace MainWindowStyle {

inline constexpr char kWindow[]
    = "* { outline:none; }"
      "QWidget { background:transparent; font-family:'Segoe UI','DejaVu Sans',sans-serif; color:#e2e8f0; }"
      "QWidget#contentPanel, QWidget#bottomPanel { background:rgba(15,23,42,220); }"
      "QWidget#titleBar { background:rgba(15,23,42,220); border-bottom:1px solid rgba(51,65,85,100);"
      " border-top-left-radius:16px; border-top-right-radius:16px; }"
      "QWidget#bottomPanel { border-bottom-left-radius:16px; border-bottom-right-radius:16px;"
      " border-top:1px solid rgba(51,65,85,100); }"
      "QLabel#titleLabel { color:#e2e8f0; font-size:15px; font-weight:700; }"
      "QLabel#versionLabel { color:#94a3b8; font-size:9px; }"
      "QWidget#metricsPanel { background:rgba(30,41,59,200); border-left:4px solid #3b82f6; "
      "border-radius:12px; }"
      "QWidget#sessionPanel { background:rgba(30,41,59,220); border-left:4px solid #f59e0b; "
      "border-radius:12px; }"
      "QLabel#metricTitle, QLabel#sessionTitle { color:#94a3b8; font-size:10px; font-weight:600;"
      " }"
      "QLabel#metricValueHost { color:#60a5fa; font-size:18px; font-family:'Consolas','DejaVu Sans "
      "Mono',monospace; }"
      "QLabel#metricValuePort { color:#22d3ee; font-size:32px; font-weight:bold;"
      " font-family:'Consolas','DejaVu Sans Mono',monospace; }"
      "QLabel#metricValuePing { color:#4ade80; font-size:32px; font-weight:bold;"
      " font-family:'Consolas','DejaVu Sans Mono',monospace; }"
      "QLabel#metricValueQuality { color:#fbbf24; font-size:18px; }"
      "QLabel#metricValueGeo { color:#c084fc; font-size:15px; font-weight:bold; "
      "background:rgba(192,132,252,25);"
      " border:1px solid rgba(192,132,252,60); border-radius:15px; padding:4px 14px; }"
      "QLabel#sessionTimerLabel, QLabel#sessionPingLabel, QLabel#sessionStabilityLabel, "
      "QLabel#networkTypeLabel"
      " { color:#e2e8f0; font-size:18px; font-weight:bold; font-family:'Consolas','DejaVu Sans "
      "Mono',monospace; }"
      "QProgressBar#connectionBar { border:none; background:rgba(51,65,85,100); border-radius:4px; }"
      "QProgressBar#connectionBar::chunk { background:qlineargradient(x1:0,y1:0,x2:1,y2:0, stop:0 #3b82f6,"
      " stop:1 #22d3ee); border-radius:4px; }"
      "QProgressBar#sessionProgressBar { border:none; background:#1e293b; border-radius:4px; }"
      "QProgressBar#sessionProgressBar::chunk { background:qlineargradient(x1:0,y1:0,x2:1,y2:0, stop:0 "
      "#8b5cf6,"
      " stop:1 #ec4899); border-radius:4px; }"
      "QLabel#onlineTextLabel { color:#94a3b8; font-size:11px; }"
      "QLabel#onlineCountLabel { color:#4ade80; font-size:13px; font-weight:bold; }"
      "QLabel#onlineIndicator { background-color:#94a3b8; border-radius:5px; }"
      "QLabel#statusLabel { color:#94a3b8; font-size:11px; }"
      "QLabel#telegramLabel, QLabel#copyrightLabel { color:#64748b; font-size:10px; }"
      "QLabel#gameStateLabel { color:#94a3b8; font-size:11px; font-weight:bold; }";

inline constexpr char kFavoritesMenu[]
    = "QMenu { background-color:rgba(15,23,42,230); border:1px solid rgba(59,130,246,80); border-radius:8px;"
      " padding:8px; } QMenu::item { padding:10px 20px 10px 15px; border-radius:6px; color:#e2e8f0; "
      "font-size:13px;"
      " margin:2px 0; min-width:250px; } QMenu::item:selected { background-color:rgba(59,130,246,120); }"
      " QMenu::separator { height:1px; background-color:rgba(59,130,246,60); margin:6px 10px; }";

inline constexpr char kDash[] = "—";
inline constexpr char kGameActive[] = "color:#4ade80; font-size:14px; font-weight:bold;";
inline constexpr char kGameInactive[] = "color:#f87171; font-size:14px; font-weight:bold;";
inline constexpr char kStatusMuted[] = "color:#94a3b8;";

// The favourite star beside the port: %1 normal, %2 hover, %3 pressed colour.
QString favoriteButtonStyle(const QString &normal, const QString &hover, const QString &pressed);
// The colour of a favourite's status: good green, bad red, anything else yellow.
QString portStatusColor(int status);

// The session bar's chunk follows the stability: yellow from 90, orange from 70, dark below.
QString sessionBarStyle(int stability);

} // namespace MainWindowStyle
