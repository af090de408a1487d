#include "monitor/pingengine.h"

#include <QHostAddress>
#include <QTcpSocket>

PingEngine::PingEngine(QObject *parent) : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early
    m_timeout.setInterval(kTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(kNoAnswer); });
}

PingEngine::~PingEngine()
{
    if (m_socket)
        m_socket->abort();
}

void PingEngine::setTarget(const QString &host, quint16 port)
{
    if (host != m_host || port != m_port)
        cancel();
    m_host = host;
    m_port = port;
}

void PingEngine::cancel()
{
    m_timeout.stop();
    if (QTcpSocket *socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    ++m_generation; // a measurement queued but not yet started finds nothing to do
    m_inProgress = false;
}

void PingEngine::startPingMeasurement()
{
    if (m_host.isEmpty() || m_port == 0 || m_inProgress)
        return;
    m_inProgress = true;
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation == m_generation)
                measurePing();
        },
        Qt::QueuedConnection);
}

void PingEngine::measurePing()
{
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        finish(reportedPing(m_clock.elapsed()));
    });
    // A refused or unreachable server is simply "no connection within the limit".
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket != m_socket)
            return;
        finish(kNoAnswer);
    });

    m_clock.start();
    m_timeout.start();
    QHostAddress address;
    if (address.setAddress(m_host))
        socket->connectToHost(address, m_port);
    else
        socket->connectToHost(m_host, m_port);
}

void PingEngine::finish(int ping)
{
    m_timeout.stop();
    if (QTcpSocket *socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost(); // orderly close of a completed handshake
        else
            socket->abort();
        socket->deleteLater();
    }
    emit pingMeasured(ping);
    m_inProgress = false;
}

int PingEngine::reportedPing(qint64 elapsedMs)
{
    if (elapsedMs < 0)
        return 0;
    return elapsedMs <= kTimeoutMs ? static_cast<int>(elapsedMs) : kNoAnswer;
}

void PingEngine::recordSample(int ping, const QDateTime &at)
{
    m_timedSamples.append(qMakePair(at, ping));
    while (m_timedSamples.size() > kMaxSamples)
        m_timedSamples.removeFirst();
    m_samples.append(ping);
    while (m_samples.size() > kMaxSamples)
        m_samples.removeFirst();
}

void PingEngine::clearSamples()
{
    m_samples.clear();
    m_timedSamples.clear();
}
