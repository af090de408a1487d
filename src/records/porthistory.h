#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include "records/clock.h"

// One stay of the game's connection on one server port.
struct PortSession
{
    qint64 id = 0; // 0 marks the empty value
    quint16 port = 0;
    QString server;
    QDateTime startTime;
    QDateTime endTime; // null while the visit is open
    qint64 durationMs = 0;
    QString description;

    bool isActive() const { return endTime.isNull() && id != 0; }
    bool operator==(const PortSession &o) const
    {
        return id == o.id && port == o.port && server == o.server && startTime == o.startTime
            && endTime == o.endTime && durationMs == o.durationMs && description == o.description;
    }
    bool operator!=(const PortSession &o) const { return !(*this == o); }
};
Q_DECLARE_METATYPE(PortSession)

// Every port visit, kept in "port_history.txt" beside the executable (in the user's
// data folder when the program's folder is read-only) and rewritten after each change.
// At most one visit is open: the current one.
class PortHistory final : public QObject
{
    Q_OBJECT

public:
    explicit PortHistory(QObject *parent);
    explicit PortHistory(
        const QString &filePath = defaultFilePath(), QObject *parent = nullptr, Clock clock = {});
    ~PortHistory() override;

    static QString defaultFilePath();
    QString filePath() const { return m_filePath; }

    void visitPort(quint16 port, const QString &server, const QString &description = QString());
    void updateCurrentPort(quint16 port, const QString &server);
    void leavePort();
    // Both return false, leaving the history as it was, when the file cannot be rewritten.
    bool clearHistory();
    bool deleteSession(qint64 id);
    // Returns how many closed visits were removed.
    int deleteOldSessions(int days);

    PortSession currentSession() const { return m_currentSession; }
    bool hasActiveSession() const { return m_currentSession.isActive(); }
    qint64 nextId() const { return m_nextId; }
    // The list in file order.
    QList<PortSession> sessions() const { return m_sessions; }
    // Newest start first; equal starts give the later visit (higher id) first.
    QList<PortSession> getAllSessions() const;
    QList<PortSession> getRecentSessions(int count) const;
    QList<PortSession> getSessionsForPort(quint16 port) const;
    QList<quint16> getUniquePorts() const;
    QDateTime lastVisitTime(quint16 port) const;
    // The first open visit of port, or the empty value.
    PortSession findActiveSessionForPort(quint16 port) const;
    void updateSession(const PortSession &session);

    // Rewrites the whole file now; false (logged, memory untouched) when it cannot be
    // written. Visits, leaves and updates rewrite it in the background instead.
    bool saveHistory();
    void loadHistory();
    // Returns once every change made so far is on disk.
    void flush();

    static QString formatDuration(qint64 ms);

    bool exportToCSV(const QString &filePath) const;
    bool exportToHTML(const QString &filePath) const;

signals:
    void portVisited(const PortSession &session);
    void portLeft(const PortSession &session);
    void portUpdated(const PortSession &session);
    void historyCleared();
    void sessionStarted(const PortSession &session);
    void sessionEnded(const PortSession &session);
    void sessionUpdated(const PortSession &session);

private:
    QDateTime now() const { return clockNow(m_clock); }
    void closeVisit(PortSession &session) const;
    QByteArray serialize();
    // The saved lines of visits from index on no longer hold.
    void invalidateFrom(qsizetype index);
    void scheduleSave();
    friend class HistorySaveBatch;

    Clock m_clock;
    QString m_filePath;
    QList<PortSession> m_sessions;
    PortSession m_currentSession;
    qint64 m_nextId = 1;
    int m_batchDepth = 0;
    bool m_batchSave = false;
    // The file's lines for the first m_cleanCount visits, and where each line ends.
    QByteArray m_serialized;
    QList<qsizetype> m_lineEnds;
    qsizetype m_cleanCount = 0;
};
