#include "monitor/pingquality.h"

namespace PingQuality {

int level(int ping)
{
    if (ping < 30)
        return 0;
    if (ping < 60)
        return 1;
    if (ping < 100)
        return 2;
    if (ping < 200)
        return 3;
    return 4;
}

QString text(int ping)
{
    static const char *const words[] = {"ОТЛИЧНО", "ХОРОШО", "НОРМА", "ПЛОХО", "ОЧЕНЬ ПЛОХО"};
    return QString::fromUtf8(words[level(ping)]);
}

QString color(int ping)
{
    static const char *const colors[] = {"#48bb78", "#66bb6a", "#ffa726", "#ff7043", "#f44336"};
    return QLatin1String(colors[level(ping)]);
}

namespace {

int barBand(int ping)
{
    if (ping <= 30)
        return 0;
    if (ping <= 60)
        return 1;
    if (ping <= 100)
        return 2;
    if (ping <= 200)
        return 3;
    if (ping <= 998)
        return 4;
    return 5;
}

} // namespace

int barValue(int ping)
{
    static const int values[] = {100, 85, 70, 50, 30, 0};
    return values[barBand(ping)];
}

QString barGradient(int ping)
{
    static const char *const stops[][2] = {{"#4ade80", "#22d3ee"}, {"#60a5fa", "#3b82f6"},
        {"#fbbf24", "#f59e0b"}, {"#f87171", "#ef4444"}, {"#dc2626", "#991b1b"}, {"#7f1d1d", "#450a0a"}};
    const auto &band = stops[barBand(ping)];
    return QStringLiteral("qlineargradient(x1:0,y1:0,x2:1,y2:0, stop:0 %1, stop:1 %2)")
        .arg(QLatin1String(band[0]), QLatin1String(band[1]));
}

QString pingStyle(int ping)
{
    return QStringLiteral("color:%1; font-size:36px; font-weight:700;").arg(color(ping));
}

QString qualityStyle(int ping)
{
    return QStringLiteral("color:%1; font-size:18px; font-weight:600;").arg(color(ping));
}

QString barStyle(int ping)
{
    return QStringLiteral("QProgressBar { border:none; background:rgba(51,65,85,100); border-radius:4px; } "
                          "QProgressBar::chunk { background:%1; border-radius:4px; }")
        .arg(barGradient(ping));
}

} // namespace PingQuality
