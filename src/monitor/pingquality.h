#pragma once

// Quality words, colours and connection-bar bands for a ping in milliseconds.

#include <QString>

namespace PingQuality {

inline constexpr int kNoAnswer = 999;

// 0 best ... 4 worst: below 30, 30-59, 60-99, 100-199, 200 and more.
int level(int ping);
QString text(int ping);
QString color(int ping); // "#rrggbb"

// The connection bar uses its own bounds: <=30, 31-60, 61-100, 101-200, 201-998, above 998.
int barValue(int ping);
QString barGradient(int ping);

QString pingStyle(int ping); // ping tile
QString qualityStyle(int ping); // quality tile
QString barStyle(int ping); // connection bar

} // namespace PingQuality
