#pragma once

#include <QDateTime>

#include <functional>

// Source of "now" for the record stores. Production code leaves it empty and gets the
// local wall clock; tests hand in a fixed or stepping clock.
using Clock = std::function<QDateTime()>;

inline QDateTime clockNow(const Clock &clock)
{
    return clock ? clock() : QDateTime::currentDateTime();
}
