#pragma once

// Turns what discovery sees into game sessions and port visits: a found server opens
// or moves the port visit and starts or updates the game session, a lost connection
// pauses it, the end of the game (or of the program) ends it and closes the visit.

#include <QObject>
#include <QString>

#include <functional>

class GameSession;
class PortHistory;
class SessionManager;

class SessionTracker final : public QObject
{
    Q_OBJECT

public:
    SessionTracker(SessionManager *sessions, PortHistory *history, QObject *parent = nullptr);

    // Where a new session's network type comes from (the adapters by default).
    void setNetworkTypeProvider(std::function<QString()> provider);
    // The description a port visit takes: the favourite's, or empty.
    void setDescriptionLookup(std::function<QString(quint16)> lookup);

    // A server was found. serverChanged is false when the same address and port came
    // back after a loss: the port visit then stays as it is.
    void serverFound(const QString &host, quint16 port, bool serverChanged);
    // The connection is gone: the running session pauses (its record is not rewritten).
    void connectionLost();
    // The game ended or the program closes: end the session and close the open visit.
    void endGameSession();
    // Returns once both record files hold every change made so far (they are rewritten
    // in the background); for an exit that ends the process at once.
    void flushRecords();
    // A ping result, kept by the running session.
    void addPing(int ping);

    // The current session when it is running (active and not paused), else null.
    GameSession *runningSession() const;

signals:
    // A new game session runs; its network type is already set.
    void gameSessionStarted(GameSession *session);
    // The running session was ended by endGameSession.
    void gameSessionEnded();

private:
    void startGameSession(const QString &host, quint16 port);
    void endPausedSession();

    SessionManager *m_sessions;
    PortHistory *m_history;
    std::function<QString()> m_networkType;
    std::function<QString(quint16)> m_description;
};
