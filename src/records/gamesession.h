#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "monitor/pingstatistics.h"
#include "records/clock.h"
#include "records/recordfile.h"

// One stretch of play on one game server connection, with the pings measured while it
// ran. Owned by SessionManager, which assigns the id and keeps the file.
class GameSession final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxSamples = 1000;

    // Ping statistics as stored in the session file. Sessions read back from the file
    // hold no samples, only these figures.
    struct Statistics
    {
        qint64 average = 0;
        qint64 minimum = 0;
        qint64 maximum = 0;
        int stability = 100;
        qint64 count = 0;
        bool operator==(const Statistics &o) const
        {
            return average == o.average && minimum == o.minimum && maximum == o.maximum
                && stability == o.stability && count == o.count;
        }
    };

    // Loss, jitter, median and p95 over every ping of the session (not only the last
    // 1000 samples); kept in the session file beside the figures above.
    using Figures = PingStatistics::Summary;

    explicit GameSession(QObject *parent = nullptr, Clock clock = {});
    ~GameSession() override;

    void start(const QString &server, quint16 port);
    void pause();
    void resume();
    void end();
    void addPing(qint64 ms);
    void setServer(const QString &server, quint16 port);
    void setNetworkType(const QString &networkType);

    // Played time in ms: fixed once ended, running (pauses excluded) while active.
    qint64 duration() const;
    qint64 averagePing() const;
    qint64 minPing() const;
    qint64 maxPing() const;
    int stability() const;
    int qualityLevel() const;
    // Number of pings behind the statistics: the samples held, or the stored count.
    qint64 pingCount() const;
    Statistics statistics() const;
    // Nothing for a session without pings, or one read from a file of an older version.
    std::optional<Figures> figures() const;
    QString durationString() const;
    QString summary() const;

    qint64 id() const { return m_id; }
    void setId(qint64 id) { m_id = id; }
    QDateTime startTime() const { return m_startTime.toDateTime(); }
    QDateTime endTime() const { return m_endTime.toDateTime(); }
    // The same times as the session file holds them, cheap to write back.
    const RecordFile::WallTime &storedStartTime() const { return m_startTime; }
    const RecordFile::WallTime &storedEndTime() const { return m_endTime; }
    QDateTime pauseStartTime() const { return m_pauseStartTime; }
    qint64 pausedTotalMs() const { return m_pausedTotalMs; }
    qint64 durationMs() const { return m_durationMs; }
    QString server() const { return m_server; }
    quint16 port() const { return m_port; }
    QString networkType() const { return m_networkType; }
    QList<qint64> pingSamples() const { return m_pingSamples; }
    bool isActive() const { return m_active; }
    bool isPaused() const { return m_paused; }

    // Gives an ended record the values read from the session file.
    void restore(qint64 id, const QString &server, quint16 port, const RecordFile::WallTime &startTime,
        const RecordFile::WallTime &endTime, qint64 durationMs, const QString &networkType,
        const std::optional<Statistics> &stored, const std::optional<Figures> &figures);

    // "%1:%2:%3", two-digit fields, hours not wrapped.
    static QString formatClock(qint64 ms);

private:
    QDateTime now() const { return clockNow(m_clock); }

    Clock m_clock;
    qint64 m_id = 0;
    RecordFile::WallTime m_startTime;
    RecordFile::WallTime m_endTime;
    QDateTime m_pauseStartTime;
    qint64 m_pausedTotalMs = 0;
    qint64 m_durationMs = 0;
    QString m_server;
    quint16 m_port = 0;
    QString m_networkType = QStringLiteral("Unknown");
    QList<qint64> m_pingSamples;
    std::optional<Statistics> m_stored;
    // Whole-session accumulator, made by the first ping (a few kilobytes, so sessions
    // read from the file hold only their figures).
    std::unique_ptr<PingStatistics> m_pings;
    std::optional<Figures> m_storedFigures;
    bool m_active = false;
    bool m_paused = false;
};
