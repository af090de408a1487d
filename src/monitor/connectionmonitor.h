#pragma once

// The discovery state machine: every 2000 ms it decides whether the game runs and
// which server it talks to, and drives the once-a-second ping while a connection
// is known. The main window turns its signals into labels, sessions and balloons.

#include "monitor/discoverysource.h"

#include <QObject>
#include <QTimer>

#include <memory>

class PingEngine;

class ConnectionMonitor final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTargetIntervalMs = 2000;
    static constexpr int kPingIntervalMs = 1000;
    static constexpr int kMissesBeforeNotice = 3;

    // Takes the real operating-system source when none is given.
    explicit ConnectionMonitor(std::unique_ptr<DiscoverySource> source = nullptr, QObject *parent = nullptr);
    ~ConnectionMonitor() override;

    void start(); // the target timer
    void stop(); // target and ping timers

    // One discovery run (the target timer's slot).
    void updateTarget();

    QString currentHost() const { return m_host; }
    quint16 currentPort() const { return m_port; }
    bool isConnected() const { return m_connected; }
    bool isGameRunning() const { return m_gameRunning; }
    int missCount() const { return m_missCount; }
    bool isPingTimerActive() const { return m_pingTimer.isActive(); }
    PingEngine *ping() const { return m_ping; }

signals:
    // The game process appeared (true) or went away (false).
    void gameStateChanged(bool running);
    // A status-line message; an empty text clears the line and its style.
    void statusChanged(const QString &text, const QString &style);
    // Every run that finds the game but no server connection.
    void connectionMissed();
    // The known connection is gone (ping timer stopped, samples cleared).
    void connectionLost();
    // A server other than the current one, or the current one after a loss.
    // serverChanged is false when the same address and port return after a loss.
    void serverFound(const QString &host, quint16 port, bool serverChanged);
    // The first find after none or after a loss (ping timer started).
    void connectionFound(const QString &host, quint16 port);

private:
    bool updateGameState(std::vector<uint32_t> &pids);

    std::unique_ptr<DiscoverySource> m_source;
    PingEngine *m_ping = nullptr;
    QTimer m_targetTimer;
    QTimer m_pingTimer;
    QString m_host;
    quint16 m_port = 0;
    bool m_connected = false;
    bool m_gameRunning = false;
    int m_missCount = 0;
};
