#pragma once

// Connection figures over a run of pings: loss, jitter, median, p95, minimum and maximum.
// A ping is whole milliseconds 0-500, or 999 for no answer. Answered pings are counted
// in a histogram of 501 bins, so a whole session of any length costs a few kilobytes and
// its median and percentiles are exact.

#include <QtGlobal>

#include <array>

class PingStatistics
{
public:
    static constexpr int kLost = 999;
    static constexpr int kMaxAnswered = 500;

    void add(int ping);
    void clear() { *this = PingStatistics(); }

    qint64 count() const { return m_answered + m_lost; }
    qint64 answered() const { return m_answered; }
    qint64 lost() const { return m_lost; }
    // Share of pings without an answer, 0-100; 0 with no pings.
    double lossPercent() const;
    // Mean absolute difference of consecutive answered pings; 0 with fewer than two.
    double jitter() const;
    // Nearest-rank percentile (1-100) of the answered pings; -1 when none answered.
    int percentile(int percent) const;
    int median() const { return percentile(50); }
    int p95() const { return percentile(95); }
    // Of the answered pings; -1 when none answered.
    int minimum() const { return m_answered ? m_minimum : -1; }
    int maximum() const { return m_answered ? m_maximum : -1; }

    // The figures that outlast the pings: what a finished game session keeps.
    struct Summary
    {
        double lossPercent = 0;
        double jitter = 0;
        int median = -1; // -1: no ping answered
        int p95 = -1;
    };
    Summary summary() const { return {lossPercent(), jitter(), median(), p95()}; }

    template<typename Iterator> static PingStatistics of(Iterator first, Iterator last)
    {
        PingStatistics stats;
        for (; first != last; ++first)
            stats.add(int(*first));
        return stats;
    }

private:
    std::array<qint64, kMaxAnswered + 1> m_histogram {};
    qint64 m_answered = 0;
    qint64 m_lost = 0;
    qint64 m_jitterSum = 0;
    qint64 m_jitterSteps = 0;
    int m_previous = -1;
    int m_minimum = 0;
    int m_maximum = 0;
};
