#include "monitor/connectionmonitor.h"

#include "monitor/pingengine.h"

ConnectionMonitor::ConnectionMonitor(std::unique_ptr<DiscoverySource> source, QObject *parent)
    : QObject(parent)
    , m_source(source ? std::move(source) : std::make_unique<PlatformDiscoverySource>())
    , m_ping(new PingEngine(this))
{
    m_targetTimer.setInterval(kTargetIntervalMs);
    connect(&m_targetTimer, &QTimer::timeout, this, &ConnectionMonitor::updateTarget);
    m_pingTimer.setInterval(kPingIntervalMs);
    connect(&m_pingTimer, &QTimer::timeout, m_ping, &PingEngine::startPingMeasurement);
}

ConnectionMonitor::~ConnectionMonitor() = default;

void ConnectionMonitor::start()
{
    m_targetTimer.start();
}

void ConnectionMonitor::stop()
{
    m_targetTimer.stop();
    m_pingTimer.stop();
}

bool ConnectionMonitor::updateGameState(std::vector<uint32_t> &pids)
{
    pids = m_source->findGameProcesses();
    const bool running = !pids.empty();
    if (running != m_gameRunning) {
        m_gameRunning = running;
        emit gameStateChanged(running);
    }
    return running;
}

void ConnectionMonitor::updateTarget()
{
    std::vector<uint32_t> pids;
    if (!updateGameState(pids)) {
        m_missCount = 0;
        emit statusChanged(
            QStringLiteral("Ожидание запуска Русская Рыбалка 4..."), QStringLiteral("color: #94a3b8;"));
        return;
    }
    emit statusChanged(QString(), QString());

    const GameServer server = m_source->findServer(pids);
    if (!server.found) {
        if (++m_missCount > kMissesBeforeNotice) {
            emit statusChanged(
                QStringLiteral("Игра запущена, соединение не найдено"), QStringLiteral("color: #94a3b8;"));
            m_missCount = 0;
        }
        if (m_connected) {
            m_connected = false;
            m_pingTimer.stop();
            m_ping->cancel();
            m_ping->clearSamples();
            emit connectionLost();
        }
        emit connectionMissed();
        return;
    }

    m_missCount = 0;
    if (server.address == m_host && server.port == m_port && m_connected)
        return;

    const bool changed = server.address != m_host || server.port != m_port;
    m_host = server.address;
    m_port = server.port;
    m_ping->setTarget(m_host, m_port);
    emit serverFound(m_host, m_port, changed);
    emit statusChanged(
        QStringLiteral("Подключено: %1:%2").arg(m_host).arg(m_port), QStringLiteral("color: #22d3ee;"));

    if (!m_connected) {
        m_connected = true;
        m_pingTimer.start();
        emit connectionFound(m_host, m_port);
    }
}
