#pragma once

// The pings of the current game against time, for the ping graph: the last hour of
// (time, ping) samples in a ring, with marks where the server changed or the game
// ended. The game session keeps its own sample list for its statistics; this one only
// feeds the graph and its figures. Times are milliseconds since the epoch.

#include "monitor/pingstatistics.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class PingTimeline final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kCapacity = 3600; // an hour at one ping a second
    static constexpr int kLost = PingStatistics::kLost;
    static constexpr int kMaxMarks = 200;
    // A clock that goes back further than this makes the held samples unplaceable.
    static constexpr qint64 kClockStepBackMs = 2000;

    struct Sample
    {
        qint64 atMs = 0;
        int ping = 0; // whole ms, or 999 for no answer
    };

    enum class MarkKind
    {
        ServerChanged,
        GameEnded
    };

    struct Mark
    {
        qint64 atMs = 0;
        MarkKind kind = MarkKind::ServerChanged;
        QString label; // the new server as "address:port"; empty for the end of a game
    };

    // What the figures under the graph show for one span.
    struct Figures
    {
        int current = -1; // the newest ping of the span, -1 without samples
        PingStatistics stats;
    };

    explicit PingTimeline(QObject *parent = nullptr);

    static qint64 now();

    // Pings count only while a game runs: the monitor goes on pinging the last server
    // after the game closed, and those pings belong to no session.
    void addPing(int ping, qint64 atMs = now());
    // The game's server; another one than before is marked on the graph.
    void setServer(const QString &host, quint16 port, qint64 atMs = now());
    // The end of a game that left samples is marked on the graph.
    void setGameRunning(bool running, qint64 atMs = now());

    bool isGameRunning() const { return m_gameRunning; }
    QString server() const { return m_server; } // "address:port", empty before the first

    int size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    Sample sample(int index) const; // 0 is the oldest held
    const QList<Mark> &marks() const { return m_marks; }

    // Index of the first sample at or after fromMs; size() when there is none.
    int firstIndexFrom(qint64 fromMs) const;
    // Index of the sample closest in time to atMs among those at or after fromMs; -1 if none.
    int nearestIndex(qint64 atMs, qint64 fromMs) const;
    Figures figuresFrom(qint64 fromMs) const;

    // Fills the timeline from a text recording, for looking at the graph and measuring it
    // with a full hour. One entry a line, times in seconds before nowMs, oldest first:
    //   "<seconds> <ping>", "<seconds> server <address:port>", "<seconds> end".
    // Blank lines and lines starting with '#' are skipped. False when the file cannot be
    // read or a line is not understood (what came before it stays).
    bool loadRecording(const QString &path, qint64 nowMs = now());

signals:
    // A sample or a mark was added, or the samples were dropped.
    void changed();

private:
    void addMark(MarkKind kind, qint64 atMs, const QString &label);
    void dropOldMarks();

    std::vector<Sample> m_ring;
    int m_start = 0; // index in m_ring of the oldest sample once the ring is full
    int m_count = 0;
    QList<Mark> m_marks;
    QString m_server;
    bool m_gameRunning = false;
    bool m_gamePinged = false; // the running game has samples
};
