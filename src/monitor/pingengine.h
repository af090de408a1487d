#pragma once

// Times a TCP connect to the game server. The connect runs asynchronously with a
// 500 ms cap, so a server that does not answer never freezes the window.

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTimer>

class QTcpSocket;

class PingEngine final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTimeoutMs = 500;
    static constexpr int kNoAnswer = 999;
    static constexpr int kMaxSamples = 60;

    explicit PingEngine(QObject *parent = nullptr);
    ~PingEngine() override;

    // A new target cancels a measurement of the old one.
    void setTarget(const QString &host, quint16 port);
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    bool isInProgress() const { return m_inProgress; }

    // Starts one measurement unless one is running or there is no target. The
    // connect itself begins once control is back in the event loop.
    void startPingMeasurement();

    // Drops a measurement in flight without reporting it: its answer would belong to a
    // connection that is gone or to another server.
    void cancel();

    // What a measurement reports for the time from the start of the attempt to its answer:
    // whole milliseconds up to 500, and 999 beyond. An answer handled late (the event
    // loop was blocked) cannot tell how long the handshake really took, so it counts as
    // no answer within the limit rather than as a ping off the scale.
    static int reportedPing(qint64 elapsedMs);

    // The last 60 results, oldest first.
    void recordSample(int ping, const QDateTime &at = QDateTime::currentDateTime());
    void clearSamples();
    const QList<int> &samples() const { return m_samples; }
    const QList<QPair<QDateTime, int>> &timedSamples() const { return m_timedSamples; }

signals:
    // Exactly once per measurement: whole milliseconds from the start of the attempt,
    // or 999 when no connection was made within 500 ms.
    void pingMeasured(int ping);

private:
    void measurePing();
    void finish(int ping);

    QString m_host;
    quint16 m_port = 0;
    bool m_inProgress = false;
    quint64 m_generation = 0;
    QPointer<QTcpSocket> m_socket;
    QTimer m_timeout;
    QElapsedTimer m_clock;
    QList<int> m_samples;
    QList<QPair<QDateTime, int>> m_timedSamples;
};
