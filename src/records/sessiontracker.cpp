#include "records/sessiontracker.h"

#include "monitor/networktype.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"

SessionTracker::SessionTracker(SessionManager *sessions, PortHistory *history, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_history(history)
    , m_networkType([] { return detectNetworkType(); })
{ }

void SessionTracker::setNetworkTypeProvider(std::function<QString()> provider)
{
    m_networkType = std::move(provider);
}

void SessionTracker::setDescriptionLookup(std::function<QString(quint16)> lookup)
{
    m_description = std::move(lookup);
}

GameSession *SessionTracker::runningSession() const
{
    GameSession *session = m_sessions->currentSession();
    return session && session->isActive() && !session->isPaused() ? session : nullptr;
}

void SessionTracker::serverFound(const QString &host, quint16 port, bool serverChanged)
{
    if (serverChanged) {
        if (m_history->hasActiveSession() && m_history->currentSession().port != port)
            m_history->leavePort();
        if (m_history->hasActiveSession())
            m_history->updateCurrentPort(port, host);
        else
            m_history->visitPort(port, host, m_description ? m_description(port) : QString());
    }

    if (GameSession *session = runningSession())
        session->setServer(host, port);
    else
        startGameSession(host, port);
}

void SessionTracker::startGameSession(const QString &host, quint16 port)
{
    if (runningSession())
        return;
    endPausedSession();
    GameSession *session = m_sessions->startNewSession(host, port);
    if (!session)
        return;
    session->setNetworkType(m_networkType ? m_networkType() : NetworkType::unknown());
    emit gameSessionStarted(session);
}

void SessionTracker::connectionLost()
{
    // Paused directly on the record, so the store announces nothing.
    if (GameSession *session = runningSession())
        session->pause();
}

void SessionTracker::endPausedSession()
{
    // A session paused by a lost connection ends when a new one starts or the game
    // ends: left paused, its record would stay open with no end time for good.
    // Resuming first counts the open pause out of the played time.
    GameSession *session = m_sessions->currentSession();
    if (session && session->isActive() && session->isPaused()) {
        session->resume();
        m_sessions->endCurrentSession();
    }
}

void SessionTracker::endGameSession()
{
    GameSession *session = m_sessions->currentSession();
    if (session && session->isActive()) {
        if (session->isPaused())
            session->resume(); // see endPausedSession
        m_sessions->endCurrentSession();
        emit gameSessionEnded();
    }
    if (m_history->hasActiveSession())
        m_history->leavePort();
}

void SessionTracker::flushRecords()
{
    m_sessions->flush();
    m_history->flush();
}

void SessionTracker::addPing(int ping)
{
    if (GameSession *session = runningSession())
        session->addPing(ping);
}
