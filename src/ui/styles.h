#pragma once

// The shared look: palette, icon button, tooltip and dialog chrome style sheets.
// A dialog's own sheet holds only what is its own.

namespace Styles {

inline constexpr char kTextMain[] = "#e2e8f0";
inline constexpr char kTextSecondary[] = "#cbd5e1";
inline constexpr char kTextMuted[] = "#94a3b8";
inline constexpr char kAccent[] = "#3b82f6";

inline constexpr char kIconButton[] =
    "SvgButton { background-color:rgba(30,41,59,0.5); border:1px solid rgba(71,85,105,0.6); "
    "border-radius:6px; min-width:25px; min-height:25px; max-width:25px; max-height:25px; padding:0; } "
    "SvgButton:hover { background-color:rgba(51,65,85,0.7); border-color:rgba(100,116,139,0.8); }";

inline constexpr char kToolTip[] =
    "QToolTip { background-color:#1e293b; color:#e2e8f0; border:1px solid #3b82f6; border-radius:6px; }";

inline constexpr char kDialogBackground[] =
    "QWidget#dialogBackground { background-color:rgba(15,23,42,200); border-radius:16px; "
    "border:1px solid rgba(59,130,246,100); }";

inline constexpr char kTitleBar[] =
    "QWidget#titleBar { background-color:rgba(15,23,42,220); border-top-left-radius:14px; "
    "border-top-right-radius:14px; border-bottom:1px solid rgba(51,65,85,100); }";

inline constexpr char kSeparator[] = "QFrame { background-color:rgba(51,65,85,100); border:none; }";

}  // namespace Styles
