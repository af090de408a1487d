#pragma once

// Request allowances per key (a peer address, a user name), shared by every thread of
// the service. Each key gets a steady rate of N requests per minute with bursts of up
// to N (the generic cell rate algorithm: one time stamp per key, no timers).

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

class RateLimiter final
{
public:
    struct Charge
    {
        QString key;
        int perMinute = 0; // 0 or less: unlimited
    };

    // Charges one request to every key, or to none when one of them is exhausted.
    // Returns 0 when the request may go ahead, otherwise the whole seconds (at least 1)
    // until it would be allowed.
    int take(const QList<Charge> &charges, qint64 nowMs);

    // Drops keys whose allowance is whole again; they cost nothing to recreate.
    void forgetIdle(qint64 nowMs);
    qsizetype keyCount() const;

private:
    mutable QMutex m_mutex;
    // Per key: the time at which its allowance would be whole again.
    QHash<QString, qint64> m_full;
    qint64 m_lastSweepMs = 0;
};
