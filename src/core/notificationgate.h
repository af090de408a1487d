#pragma once

// Tray balloons are rate-limited: one at most every 300 s, counted from the window's
// construction, so a game already running at start produces no balloon. Notifications
// inside the window are dropped, never queued.

#include <QDateTime>

class NotificationGate
{
public:
    static constexpr qint64 kMinimumGapSeconds = 301;

    explicit NotificationGate(const QDateTime &start = QDateTime::currentDateTime()) : m_last(start) { }

    // True, and the moment is remembered, when a balloon may be shown at now.
    bool tryPass(const QDateTime &now = QDateTime::currentDateTime())
    {
        if (m_last.secsTo(now) < kMinimumGapSeconds)
            return false;
        m_last = now;
        return true;
    }

    QDateTime lastShown() const { return m_last; }

private:
    QDateTime m_last;
};
