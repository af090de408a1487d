#include "monitor/pingstatistics.h"

#include <cstdlib>

void PingStatistics::add(int ping)
{
    // Anything at or past the loss mark is no answer; a late reply that slipped through
    // as 501-998 is counted at the limit rather than stretching the scale.
    if (ping >= kLost) {
        ++m_lost;
        return;
    }
    const int value = qBound(0, ping, kMaxAnswered);
    ++m_histogram[std::size_t(value)];
    m_minimum = m_answered ? qMin(m_minimum, value) : value;
    m_maximum = m_answered ? qMax(m_maximum, value) : value;
    ++m_answered;
    if (m_previous >= 0) {
        m_jitterSum += std::abs(value - m_previous);
        ++m_jitterSteps;
    }
    m_previous = value;
}

double PingStatistics::lossPercent() const
{
    const qint64 all = count();
    return all ? 100.0 * double(m_lost) / double(all) : 0.0;
}

double PingStatistics::jitter() const
{
    return m_jitterSteps ? double(m_jitterSum) / double(m_jitterSteps) : 0.0;
}

int PingStatistics::percentile(int percent) const
{
    if (!m_answered)
        return -1;
    const qint64 rank = (qint64(qBound(1, percent, 100)) * m_answered + 99) / 100;
    qint64 seen = 0;
    for (int value = 0; value <= kMaxAnswered; ++value) {
        seen += m_histogram[std::size_t(value)];
        if (seen >= rank)
            return value;
    }
    return m_maximum;
}
