#pragma once

// The scales of the ping graph: a ping axis fitted to what is shown, and a time axis
// with round clock times for grid lines.

#include <QList>
#include <QString>

namespace PingGraphAxes {

// The smallest top of the ping axis: below it the quality bands would crowd together.
inline constexpr int kMinPingTop = 50;

// Top of the ping axis for the largest answered ping shown (-1 when none answered):
// the first round value at or above it.
int pingTop(int maxAnswered);
// Distance between the ping grid lines for that top (three to five lines).
int pingStep(int top);

// Distance between time grid lines for a shown span, and the clock format of their
// labels: "mm:ss" for steps under a minute, "HH:mm" otherwise.
qint64 timeStepMs(qint64 spanMs);
QString timeFormat(qint64 stepMs);
// Grid times in [fromMs, toMs] that are whole multiples of the step on the local clock.
QList<qint64> timeTicks(qint64 fromMs, qint64 toMs, qint64 stepMs);

} // namespace PingGraphAxes
