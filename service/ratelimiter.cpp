#include "ratelimiter.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;
// Keys are swept on the way when the table grows, so a flood of fresh names or
// addresses cannot grow it without end between the periodic sweeps.
constexpr qsizetype kSweepAbove = 100000;

} // namespace

int RateLimiter::take(const QList<Charge> &charges, qint64 nowMs)
{
    QMutexLocker locker(&m_mutex);
    qint64 waitMs = 0;
    for (const Charge &charge : charges) {
        if (charge.perMinute <= 0)
            continue;
        const qint64 interval = kMinuteMs / charge.perMinute;
        const qint64 full = std::max(m_full.value(charge.key, nowMs), nowMs);
        // Allowed while the debt after this request stays within one minute.
        const qint64 over = full + interval - nowMs - kMinuteMs;
        waitMs = std::max(waitMs, over);
    }
    if (waitMs > 0)
        return int((waitMs + 999) / 1000);
    for (const Charge &charge : charges) {
        if (charge.perMinute <= 0)
            continue;
        qint64 &full = m_full[charge.key];
        full = std::max(full, nowMs) + kMinuteMs / charge.perMinute;
    }
    if (m_full.size() > kSweepAbove && nowMs - m_lastSweepMs > 1000) {
        locker.unlock();
        forgetIdle(nowMs);
    }
    return 0;
}

void RateLimiter::forgetIdle(qint64 nowMs)
{
    QMutexLocker locker(&m_mutex);
    m_lastSweepMs = nowMs;
    m_full.removeIf([nowMs](const QHash<QString, qint64>::iterator it) { return it.value() <= nowMs; });
}

qsizetype RateLimiter::keyCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_full.size();
}
