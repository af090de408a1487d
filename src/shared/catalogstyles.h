#pragma once

// Style sheets of the shared catalogue, its port cards and the comments window: what is
// their own. The shared palette and chrome live in ui/styles.h.

namespace CatalogStyles {

inline constexpr char kTitleBarStyle[]
    = "QWidget#titleBar { background-color:rgba(15,23,42,220); border-top-left-radius:20px; "
      "border-top-right-radius:20px; border-bottom:1px solid rgba(51,65,85,100); }";
inline constexpr char kCloseButtonStyle[]
    = "SvgButton { background-color:rgba(30,41,59,0.5); border:1px solid rgba(71,85,105,0.6); "
      "border-radius:6px; min-width:28px; min-height:28px; max-width:28px; max-height:28px; padding:0; } "
      "SvgButton:hover { background-color:rgba(51,65,85,0.7); border-color:rgba(100,116,139,0.8); }";
inline constexpr char kSeparatorStyle[] = "background:rgba(51,65,85,100);";
inline constexpr char kListStyle[]
    = "QListWidget { background:transparent; border:none; outline:none; color:#94a3b8; font-size:13px; } "
      "QListWidget::item { background:transparent; border:none; } "
      "QListWidget::item:selected, QListWidget::item:hover { background:transparent; } "
      "QScrollBar:vertical { background:#0f172a; width:8px; border-radius:4px; margin:0; } "
      "QScrollBar::handle:vertical { background:#3b82f6; border-radius:4px; min-height:30px; } "
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0; } "
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background:none; }";
inline constexpr char kOnlineTextStyle[] = "color:#94a3b8; font-size:13px;";
inline constexpr char kOnlineGreenLabel[] = "color:#4ade80; font-size:13px; font-weight:bold;";
inline constexpr char kOnlineGreenDot[] = "background-color:#4ade80; border-radius:5px;";
inline constexpr char kOnlineGreyLabel[] = "color:#94a3b8; font-size:13px; font-weight:bold;";
inline constexpr char kOnlineGreyDot[] = "background-color:#94a3b8; border-radius:5px;";
inline constexpr char kOnlineRedLabel[] = "color:#ef4444; font-size:13px; font-weight:bold;";
inline constexpr char kOnlineRedDot[] = "background-color:#ef4444; border-radius:5px;";
inline constexpr char kPublishPanelStyle[] = "QWidget#publishPanel { background-color:rgba(30,41,59,200); "
                                             "border-radius:16px; margin-top:4px; }";
inline constexpr char kComboStyle[]
    = "QComboBox { background-color:#1e293b; border:1px solid #334155; border-radius:12px; color:white; "
      "font-size:12px; padding:0 10px; } "
      "QComboBox::drop-down { border:none; width:24px; } "
      "QComboBox QAbstractItemView { background-color:#1e293b; color:white; border:1px solid #334155; "
      "selection-background-color:#3b82f6; }";
inline constexpr char kCommentEditStyle[]
    = "QPlainTextEdit { background-color:#1e293b; border:1px solid #334155; "
      "border-radius:12px; color:white; font-size:12px; padding:6px; }";
inline constexpr char kEmojiButtonStyle[]
    = "QPushButton { background-color:#1e293b; border:1px solid #334155; "
      "border-radius:12px; font-size:22px; padding:0; } "
      "QPushButton:hover { background-color:#334155; }";
inline constexpr char kPublishButtonStyle[]
    = "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #10b981, stop:1 #059669); "
      "border:none; color:white; font-weight:bold; border-radius:12px; } "
      "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #34d399, stop:1 "
      "#10b981); } "
      "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #059669, stop:1 "
      "#047857); } "
      "QPushButton:disabled { background:#475569; color:#94a3b8; }";
inline constexpr char kEmojiPopupStyle[]
    = "QWidget#emojiPanel { background-color:#1e293b; border:1px solid #334155; border-radius:16px; } "
      "QPushButton { background-color:#2d3748; border:none; border-radius:12px; } "
      "QPushButton:hover { background-color:#3b82f6; }";

} // namespace CatalogStyles

namespace CardStyles {

inline constexpr char kOtherCardStyle[]
    = "QWidget#cardWidget { background-color:rgba(30,41,59,220); border-radius:24px; "
      "border:1px solid rgba(59,130,246,80); }";
inline constexpr char kOwnCardStyle[]
    = "QWidget#cardWidget { background-color:rgba(15,23,42,220); border-radius:24px; "
      "border:1px solid rgba(59,130,246,150); }";
inline constexpr char kAvatarStyle[]
    = "QLabel { background-color:%1; color:white; font-weight:bold; font-size:14px; "
      "border-radius:18px; border:none; }";
inline constexpr char kNameStyle[]
    = "QLabel { color:#e2e8f0; font-weight:bold; font-size:13px; background:transparent; "
      "border:none; }";
inline constexpr char kTimeStyle[]
    = "QLabel { color:#64748b; font-size:10px; background:transparent; border:none; }";
inline constexpr char kPortStyle[]
    = "QLabel { color:#22d3ee; font-weight:bold; font-size:18px; "
      "font-family:Consolas, 'DejaVu Sans Mono', monospace; background-color:#0f172a; "
      "padding:6px 12px; border-radius:12px; border:none; }";
inline constexpr char kDescriptionStyle[]
    = "QLabel { color:#cbd5e1; font-size:13px; background:transparent; border:none; }";
inline constexpr char kCommentStyle[]
    = "QLabel { color:#cbd5e1; font-size:12px; font-style:italic; "
      "background-color:#334155; padding:8px 12px; border-radius:14px; border:none; "
      "margin-top:6px; }";
inline constexpr char kDeleteStyle[]
    = "QPushButton { background-color:#ef4444; color:white; font-weight:bold; "
      "font-size:11px; border:none; border-radius:17px; padding:0 16px; } "
      "QPushButton:hover { background-color:#dc2626; }";
inline constexpr char kFavoriteStyle[]
    = "QPushButton { background-color:#3b82f6; color:white; font-weight:bold; "
      "font-size:11px; border:none; border-radius:17px; padding:0 16px; } "
      "QPushButton:hover { background-color:#2563eb; }";

} // namespace CardStyles

namespace CommentsStyles {

inline constexpr char kHeadingStyle[]
    = "QLabel#titleLabel { color:#e2e8f0; font-size:14px; font-weight:600; background:transparent; }";
inline constexpr char kSeparatorStyle[] = "background:rgba(51,65,85,100);";
inline constexpr char kListStyle[]
    = "QListWidget { background-color:rgba(30,41,59,180); border:1px solid #334155; border-radius:12px; "
      "color:#e2e8f0; font-size:12px; padding:8px; outline:none; } "
      "QListWidget::item { border-bottom:1px solid #334155; padding:8px; } "
      "QListWidget::item:selected { background:transparent; } "
      "QScrollBar:vertical { background:#0f172a; width:8px; border-radius:4px; margin:0; } "
      "QScrollBar::handle:vertical { background:#3b82f6; border-radius:4px; min-height:30px; } "
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0; } "
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background:none; }";
inline constexpr char kRowStyle[] = "QLabel { color: #e2e8f0; background: transparent; padding: 4px; }";
inline constexpr char kEditorStyle[] = "QPlainTextEdit { background-color:#1e293b; border:1px solid #334155; "
                                       "border-radius:8px; color:white; padding:8px; }";
inline constexpr char kSendStyle[]
    = "QPushButton { background-color:#3b82f6; color:white; font-weight:bold; border:none; "
      "border-radius:8px; } "
      "QPushButton:hover { background-color:#2563eb; } "
      "QPushButton:disabled { background-color:#475569; }";

} // namespace CommentsStyles
