#pragma once

// The shared look: palette, icon button, tooltip and dialog chrome style sheets.
// A dialog's own sheet holds only what is its own.

namespace Styles {

// Palette.
inline constexpr char kTextMain[] = "#e2e8f0";
inline constexpr char kTextSecondary[] = "#cbd5e1";
inline constexpr char kTextMuted[] = "#94a3b8";
inline constexpr char kTextDisabled[] = "#64748b";
inline constexpr char kAccent[] = "#3b82f6";
inline constexpr char kAccentHover[] = "#60a5fa";
inline constexpr char kAccentPressed[] = "#2563eb";
inline constexpr char kAccentPressedDeep[] = "#1d4ed8";

inline constexpr char kWindowPanel[] = "rgba(15,23,42,200)";
inline constexpr char kTitleBarFill[] = "rgba(15,23,42,220)";
inline constexpr char kPanelBorder[] = "rgba(59,130,246,100)";
inline constexpr char kSeparatorColor[] = "rgba(51,65,85,100)";
inline constexpr char kInnerBorder[] = "rgba(51,65,85,150)";
inline constexpr char kInnerBox[] = "rgba(30,41,59,180)";
inline constexpr char kInnerBoxStrong[] = "rgba(30,41,59,200)";
inline constexpr int kPanelRadius = 16;
inline constexpr int kTitleBarRadius = 14;
inline constexpr int kInnerBoxRadius = 10;
inline constexpr int kInnerBoxRadiusLarge = 12;

// Status colours.
inline constexpr char kStatusGreen[] = "#22c55e";
inline constexpr char kStatusGreenSoft[] = "#4caf50";
inline constexpr char kStatusAmber[] = "#fbbf24";
inline constexpr char kStatusOrange[] = "#f97316";
inline constexpr char kStatusRed[] = "#ef4444";
inline constexpr char kStatusRedSoft[] = "#f87171";
inline constexpr char kStatusCyan[] = "#22d3ee";

// Port status colours: normal (0 and anything unknown), good (1), bad (2).
inline constexpr char kPortStatusNormal[] = "#facc15";
inline constexpr char kPortStatusGood[] = "#22c55e";
inline constexpr char kPortStatusBad[] = "#ef4444";

// Fonts. The Windows faces come first; the others stand in where they are missing.
inline constexpr char kFontText[] = "'Segoe UI', 'DejaVu Sans', sans-serif";
inline constexpr char kFontNumbers[] = "Consolas, 'DejaVu Sans Mono', monospace";
inline constexpr char kFontTextFamily[] = "Segoe UI";
inline constexpr char kFontNumbersFamily[] = "Consolas";

inline constexpr char kIconButton[]
    = "SvgButton { background-color:rgba(30,41,59,0.5); border:1px solid rgba(71,85,105,0.6); "
      "border-radius:6px; min-width:25px; min-height:25px; max-width:25px; max-height:25px; padding:0; } "
      "SvgButton:hover { background-color:rgba(51,65,85,0.7); border-color:rgba(100,116,139,0.8); }";

inline constexpr char kToolTip[]
    = "QToolTip { background-color:#1e293b; color:#e2e8f0; border:1px solid #3b82f6; border-radius:6px; }";

inline constexpr char kDialogBackground[]
    = "QWidget#dialogBackground { background-color:rgba(15,23,42,200); border-radius:16px; "
      "border:1px solid rgba(59,130,246,100); }";

// The firewall help window: the same frame over a see-through panel.
inline constexpr char kHelpBackground[] = "QWidget#helpBackground { background:transparent; "
                                          "border-radius:16px; border:1px solid rgba(59,130,246,100); }";

inline constexpr char kTitleBar[]
    = "QWidget#titleBar { background-color:rgba(15,23,42,220); border-top-left-radius:14px; "
      "border-top-right-radius:14px; border-bottom:1px solid rgba(51,65,85,100); }";

// The add-favourite form has a larger corner radius.
inline constexpr char kTitleBarRound18[]
    = "QWidget#titleBar { background-color:rgba(15,23,42,220); border-top-left-radius:18px; "
      "border-top-right-radius:18px; border-bottom:1px solid rgba(51,65,85,100); }";

inline constexpr char kTitleLabel[]
    = "QLabel#titleLabel { color:#e2e8f0; font-size:16px; font-weight:600; letter-spacing:0.5px; "
      "background:transparent; }";

inline constexpr char kTitleIcon[] = "background:transparent; border:none; margin:0; padding:0;";

inline constexpr char kSeparator[] = "QFrame { background-color:rgba(51,65,85,100); border:none; }";

inline constexpr char kTransparent[] = "background:transparent;";

// Inner boxes (group frames, text boxes, info panels).
inline constexpr char kInnerBoxStyle[]
    = "background-color:rgba(30,41,59,180); border:1px solid rgba(51,65,85,150); border-radius:10px;";
inline constexpr char kInnerBoxStrongStyle[]
    = "background-color:rgba(30,41,59,200); border:1px solid rgba(51,65,85,150); border-radius:12px;";

// Buttons.
inline constexpr char kPositiveButton[]
    = "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #10b981, stop:1 #059669); "
      "border:none; color:white; font-weight:bold; border-radius:10px; } "
      "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #34d399, stop:1 "
      "#10b981); } "
      "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #059669, stop:1 "
      "#047857); }";

inline constexpr char kDestructiveButton[]
    = "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #b91c1c, stop:1 #7f1d1d); "
      "border:1px solid #991b1b; color:white; font-weight:bold; border-radius:10px; } "
      "QPushButton:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #dc2626, stop:1 #991b1b); "
      "} "
      "QPushButton:pressed { background:#7f1d1d; }";

inline constexpr char kAccentButton[]
    = "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b82f6, stop:1 #2563eb); "
      "border:none; color:white; font-weight:bold; border-radius:8px; } "
      "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #60a5fa, stop:1 "
      "#3b82f6); } "
      "QPushButton:pressed { background:#1d4ed8; }";

inline constexpr char kNeutralButton[]
    = "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #475569, stop:1 #334155); "
      "border:none; color:white; font-weight:bold; border-radius:8px; } "
      "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #64748b, stop:1 "
      "#475569); } "
      "QPushButton:pressed { background:#1e293b; }";

// Menus of the main window (functions menu, tray menu).
inline constexpr char kMenu[] = "QMenu { background-color:rgba(15,23,42,220); border:1px solid "
                                "rgba(51,65,85,150); border-radius:8px; } "
                                "QMenu::item { color:#e2e8f0; font-size:13px; padding:8px 24px 8px 12px; } "
                                "QMenu::item:selected { background-color:rgba(59,130,246,150); } "
                                "QMenu::item:disabled { color:#64748b; } "
                                "QMenu::separator { height:1px; background-color:rgba(51,65,85,100); }";

// Standard message boxes.
inline constexpr char kMessageBox[]
    = "QMessageBox { background-color:#0f172a; } "
      "QMessageBox QLabel { color:#e2e8f0; font-family:'Segoe UI', 'DejaVu Sans', sans-serif; } "
      "QMessageBox QPushButton { background-color:#3b82f6; color:white; border:none; border-radius:4px; "
      "padding:6px 16px; } "
      "QMessageBox QPushButton:hover { background-color:#2563eb; }";

} // namespace Styles
