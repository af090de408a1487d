#include "app/mainwindowstyle.h"

namespace MainWindowStyle {

QString favoriteButtonStyle(const QString &normal, const QString &hover, const QString &pressed)
{
    return QStringLiteral("QPushButton#favoriteButton { background-color:rgba(15,23,42,220); border:none; "
                          "font-size:22px; color:%1; font-weight:bold; min-width:35px; max-width:35px; "
                          "min-height:35px; max-height:35px; padding:0; margin:0; } "
                          "QPushButton#favoriteButton:hover { color:%2; font-size:24px; } "
                          "QPushButton#favoriteButton:pressed { color:%3; }")
        .arg(normal, hover, pressed);
}

QString portStatusColor(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("#22c55e");
    case 2:
        return QStringLiteral("#ef4444");
    default:
        return QStringLiteral("#facc15");
    }
}

QString sessionBarStyle(int stability)
{
    const char *gradient = stability >= 90 ? "#fde047, stop:0.5 #fbbf24, stop:1 #f59e0b"
        : stability >= 70                  ? "#fb923c, stop:0.5 #f97316, stop:1 #ea580c"
                                           : "#ea580c, stop:0.5 #c2410c, stop:1 #9a3412";
    return QStringLiteral(
        "QProgressBar#sessionProgressBar { border:none; background:#1e293b; border-radius:4px; } "
        "QProgressBar#sessionProgressBar::chunk { background:qlineargradient(x1:0,y1:0,x2:1,y2:0, "
        "stop:0 %1); border-radius:4px; }")
        .arg(QLatin1String(gradient));
}

} // namespace MainWindowStyle
