#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "records/clock.h"
#include "records/gamesession.h"

#include <algorithm>

// Owns every game session of the program's lifetime and keeps them in
// "game_sessions.txt" beside the executable (in the user's data folder when the
// program's folder is read-only), rewriting the file on every change.
class SessionManager final : public QObject
{
    Q_OBJECT

public:
    explicit SessionManager(QObject *parent);
    explicit SessionManager(
        const QString &filePath = defaultFilePath(), QObject *parent = nullptr, Clock clock = {});
    ~SessionManager() override;

    static QString defaultFilePath();
    QString filePath() const { return m_filePath; }

    GameSession *startNewSession(const QString &server, quint16 port);
    void endCurrentSession();
    void pauseCurrentSession();
    void resumeCurrentSession();
    // Rewrites the file in the background (see RecordWriter); failures are logged.
    void updateSession(GameSession *session);

    // Rewrites the whole file now; false (logged, memory untouched) when it cannot be written.
    bool saveSessions();
    void loadSessions();
    // Returns once every change made so far is on disk.
    void flush();

    GameSession *currentSession() const { return m_currentSession; }
    QList<GameSession *> sessions() const { return m_sessions; }
    qint64 nextId() const { return m_nextId; }

    qint64 totalPlayTime() const;
    qint64 averagePingAllSessions() const;
    int bestSessionId() const;
    // "%1 ч %2 м %3 с", without leading zeros.
    static QString formatDuration(qint64 ms);

    bool exportToCSV(const QString &filePath) const;
    bool exportToHTML(const QString &filePath) const;

signals:
    void sessionStarted(GameSession *session);
    void sessionEnded(GameSession *session);
    void sessionPaused(GameSession *session);
    void sessionResumed(GameSession *session);

private:
    // The whole file's content. Lines of sessions that did not change since the last
    // save are kept as they were written; a change touches the current session only.
    QByteArray serialize();
    static void appendLine(QByteArray &out, const GameSession *session);
    static void appendFigures(QByteArray &out, const std::optional<GameSession::Figures> &figures);
    void invalidateFrom(qsizetype index) { m_cleanCount = std::min(m_cleanCount, index); }
    void scheduleSave();
    friend class SessionSaveBatch;

    Clock m_clock;
    QString m_filePath;
    QList<GameSession *> m_sessions;
    GameSession *m_currentSession = nullptr;
    qint64 m_nextId = 1;
    int m_batchDepth = 0;
    bool m_batchSave = false;
    QByteArray m_serialized;
    QList<qsizetype> m_lineEnds; // where each kept line ends in m_serialized
    qsizetype m_cleanCount = 0; // sessions whose kept line is still right
};
