#include "records/gamesession.h"

#include <QDebug>

#include <algorithm>

GameSession::GameSession(QObject *parent, Clock clock) : QObject(parent), m_clock(std::move(clock)) { }

GameSession::~GameSession() = default;

void GameSession::start(const QString &server, quint16 port)
{
    m_startTime = RecordFile::WallTime(now());
    m_endTime = RecordFile::WallTime();
    m_pauseStartTime = QDateTime();
    m_server = server;
    m_port = port;
    m_active = true;
    m_paused = false;
    m_pingSamples.clear();
    m_stored.reset();
    m_pings.reset();
    m_storedFigures.reset();
    m_pausedTotalMs = 0;
    m_durationMs = 0;
    qDebug() << "[SESSION] Сессия" << m_id << "начата:" << startTime().toString(QStringLiteral("HH:mm:ss"));
}

void GameSession::pause()
{
    if (!m_active || m_paused)
        return;
    m_pauseStartTime = now();
    m_paused = true;
    qDebug() << "[SESSION] Сессия" << m_id << "приостановлена";
}

void GameSession::resume()
{
    if (!m_active || !m_paused)
        return;
    m_pausedTotalMs += m_pauseStartTime.msecsTo(now());
    m_paused = false;
    qDebug() << "[SESSION] Сессия" << m_id << "возобновлена";
}

void GameSession::end()
{
    if (!m_active)
        return;
    const QDateTime endTime = now();
    m_endTime = RecordFile::WallTime(endTime);
    // An open pause is not played time either.
    if (m_paused)
        m_pausedTotalMs += m_pauseStartTime.msecsTo(endTime);
    m_durationMs = startTime().msecsTo(endTime) - m_pausedTotalMs;
    m_active = false;
    m_paused = false;
    qDebug() << "[SESSION] Сессия" << m_id << "завершена."
             << "Длительность:" << durationString() << "Пингов:" << m_pingSamples.size();
}

void GameSession::addPing(qint64 ms)
{
    if (!m_pings)
        m_pings = std::make_unique<PingStatistics>();
    m_pings->add(int(std::clamp<qint64>(ms, 0, PingStatistics::kLost)));
    m_pingSamples.append(ms);
    if (m_pingSamples.size() > kMaxSamples)
        m_pingSamples.remove(0, m_pingSamples.size() - kMaxSamples);
}

void GameSession::setServer(const QString &server, quint16 port)
{
    m_server = server;
    m_port = port;
}

void GameSession::setNetworkType(const QString &networkType)
{
    m_networkType = networkType;
}

qint64 GameSession::duration() const
{
    if (!m_active)
        return m_durationMs;
    const QDateTime current = now();
    qint64 ms = startTime().msecsTo(current) - m_pausedTotalMs;
    if (m_paused)
        ms -= m_pauseStartTime.msecsTo(current);
    return ms;
}

GameSession::Statistics GameSession::statistics() const
{
    if (m_pingSamples.isEmpty())
        return m_stored.value_or(Statistics());
    Statistics s;
    qint64 sum = 0;
    qint64 stable = 0;
    s.minimum = m_pingSamples.constFirst();
    s.maximum = m_pingSamples.constFirst();
    for (qint64 ping : m_pingSamples) {
        sum += ping;
        s.minimum = std::min(s.minimum, ping);
        s.maximum = std::max(s.maximum, ping);
        if (ping < 100)
            ++stable;
    }
    s.count = m_pingSamples.size();
    s.average = sum / s.count;
    s.stability = static_cast<int>(stable * 100 / s.count);
    return s;
}

std::optional<GameSession::Figures> GameSession::figures() const
{
    if (m_pings)
        return m_pings->summary();
    return m_storedFigures;
}

qint64 GameSession::averagePing() const
{
    return statistics().average;
}

qint64 GameSession::minPing() const
{
    return statistics().minimum;
}

qint64 GameSession::maxPing() const
{
    return statistics().maximum;
}

int GameSession::stability() const
{
    return statistics().stability;
}

qint64 GameSession::pingCount() const
{
    return statistics().count;
}

int GameSession::qualityLevel() const
{
    if (pingCount() == 0)
        return 0;
    const qint64 avg = averagePing();
    if (avg < 30)
        return 0;
    if (avg < 60)
        return 1;
    if (avg < 100)
        return 2;
    if (avg < 200)
        return 3;
    return 4;
}

QString GameSession::formatClock(qint64 ms)
{
    // A clock set back during play can make the difference negative; show zero then.
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, zero)
        .arg((seconds / 60) % 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

QString GameSession::durationString() const
{
    return formatClock(duration());
}

QString GameSession::summary() const
{
    return QStringLiteral("Сессия #%1 | %2 | Пинг: %3 мс | Длительность: %4 | Сеть: %5")
        .arg(m_id)
        .arg(startTime().toString(QStringLiteral("dd.MM HH:mm")))
        .arg(averagePing())
        .arg(durationString(), m_networkType);
}

void GameSession::restore(qint64 id, const QString &server, quint16 port,
    const RecordFile::WallTime &startTime, const RecordFile::WallTime &endTime, qint64 durationMs,
    const QString &networkType, const std::optional<Statistics> &stored,
    const std::optional<Figures> &figures)
{
    m_id = id;
    m_server = server;
    m_port = port;
    m_startTime = startTime;
    m_endTime = endTime;
    m_durationMs = durationMs;
    m_networkType = networkType;
    m_stored = stored;
    m_storedFigures = figures;
    m_pings.reset();
    m_pingSamples.clear();
    m_pausedTotalMs = 0;
    m_active = false;
    m_paused = false;
}
