#include "app/mainwindowstyle.h"

namespace MainWindowStyle {

QString sessionBarStyle(int stability)
{
    const char *gradient = stability >= 90 ? "#fde047, stop:0.5 #fbbf24, stop:1 #f59e0b"
        : stability >= 70                  ? "#fb923c, stop:0.5 #f97316, stop:1 #ea580c"
                                           : "#ea580c, stop:0.5 #c2410c, stop:1 #9a3412";
    return QStringLiteral("QProgressBar#sessionProgressBar { border:none; background:#1e293b; border-radius:4px; } "
                          "QProgressBar#sessionProgressBar::chunk { background:qlineargradient(x1:0,y1:0,x2:1,y2:0, "
                          "stop:0 %1); border-radius:4px; }")
        .arg(QLatin1String(gradient));
}

}  // namespace MainWindowStyle
