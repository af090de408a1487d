#include "monitor/pinggraphaxes.h"

#include <QDateTime>

namespace PingGraphAxes {

int pingTop(int maxAnswered)
{
    static constexpr int kTops[] = {50, 100, 150, 200, 250, 300, 400, 500};
    for (int top : kTops) {
        if (maxAnswered <= top)
            return top;
    }
    return (maxAnswered + 99) / 100 * 100;
}

int pingStep(int top)
{
    if (top <= 50)
        return 10;
    if (top <= 100)
        return 20;
    if (top <= 250)
        return 50;
    return 100;
}

qint64 timeStepMs(qint64 spanMs)
{
    if (spanMs <= 60 * 1000)
        return 10 * 1000;
    if (spanMs <= 10 * 60 * 1000)
        return 2 * 60 * 1000;
    return 10 * 60 * 1000;
}

QString timeFormat(qint64 stepMs)
{
    return stepMs < 60 * 1000 ? QStringLiteral("mm:ss") : QStringLiteral("HH:mm");
}

QList<qint64> timeTicks(qint64 fromMs, qint64 toMs, qint64 stepMs)
{
    QList<qint64> ticks;
    if (stepMs <= 0 || toMs < fromMs)
        return ticks;
    // Whole minutes and tens of minutes are counted on the local clock, whose offset
    // from UTC need not be a whole number of steps (UTC+05:45, say).
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(fromMs).offsetFromUtc()) * 1000;
    const qint64 local = fromMs + offset;
    qint64 tick = (local / stepMs + (local % stepMs > 0 ? 1 : 0)) * stepMs - offset;
    for (; tick <= toMs; tick += stepMs)
        ticks.append(tick);
    return ticks;
}

} // namespace PingGraphAxes
