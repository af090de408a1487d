#pragma once

// Presence: an anonymous, stable user id, a heartbeat to the presence service and
// the number of users online, with the texts and styles of the online indicator.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

struct NetworkInterfaceInfo
{
    QString hardwareAddress; // "AA:BB:...", possibly empty
    bool loopback = false;
};

struct OnlineCountDisplay
{
    QString text;
    QString labelStyle;
    QString indicatorStyle;
};

namespace Presence {

// Interfaces of this machine in the order the system lists them.
QList<NetworkInterfaceInfo> systemInterfaces();

// "<first usable hardware address or braced uuid>|<msecs>|<random>": the text the user id hashes.
QString userIdSeed(const QList<NetworkInterfaceInfo> &interfaces, qint64 msecsSinceEpoch, qint32 random,
    const QUuid &fallback);
// SHA-256 of the seed's UTF-8 bytes as 64 lower-case hexadecimal digits.
QString userIdFromSeed(const QString &seed);

QByteArray heartbeatBody(const QString &userId, const QString &appVersion);
// The "online" member of a JSON object (0 when missing or not a number); ok false when the
// body is not a JSON object.
int parseOnlineCount(const QByteArray &body, bool *ok);

// Count label and indicator after an online-count answer (ok false: no answer).
OnlineCountDisplay onlineCountDisplay(int count, bool ok);
// Indicator style on a blink tick.
QString blinkIndicatorStyle(int count, bool phase);

} // namespace Presence

class PresenceClient final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHeartbeatIntervalMs = 30000;
    static constexpr int kOnlineCountIntervalMs = 15000;
    static constexpr int kBlinkIntervalMs = 800;
    // Shorter than the online-count period, so a stalled service fails each request
    // before the next tick instead of piling them up.
    static constexpr int kTransferTimeoutMs = 10000;

    // manager may be shared with other clients; without one the client makes its own.
    explicit PresenceClient(QNetworkAccessManager *manager = nullptr, QObject *parent = nullptr);
    ~PresenceClient() override;

    // Base address of the presence service; defaults to AppConfig::serviceUrl(). A final "/" is added.
    void setBaseUrl(const QString &url);
    QString baseUrl() const { return m_baseUrl; }
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }

    // Replaces the source of network interfaces that a new user id is built from.
    void setInterfaceProvider(std::function<QList<NetworkInterfaceInfo>()> provider);

    // Loads the user id from the settings store ("userId"), creating and storing it when absent.
    QString ensureUserId();
    QString userId() const { return m_userId; }

    // Sends the first heartbeat now (loading the user id first if needed) and starts the
    // heartbeat, online-count and blink timers.
    void start();
    void stop();

    // At most one request of each kind is in flight: one asked for meanwhile waits and
    // is sent when the first has finished (a stalled service never piles them up).
    void sendHeartbeat();
    void requestOnlineCount();
    // Stores the count (-1 when ok is false), emits the display and onlineCountChanged.
    void setOnlineCount(int count, bool ok);
    void blinkOnlineIndicator();

    int onlineCount() const { return m_onlineCount; }
    OnlineCountDisplay display() const { return m_display; }

signals:
    // -1 when the count could not be obtained.
    void onlineCountChanged(int count);
    void onlineDisplayChanged(const QString &text, const QString &labelStyle, const QString &indicatorStyle);
    void indicatorStyleChanged(const QString &style);
    void heartbeatFinished(bool success);

private:
    void onOnlineCountReceived(QNetworkReply *reply);
    void onHeartbeatFinished(QNetworkReply *reply);
    QNetworkReply *track(QNetworkReply *reply);

    QNetworkAccessManager *m_manager;
    QString m_baseUrl;
    std::function<QList<NetworkInterfaceInfo>()> m_interfaces;
    QString m_userId;
    int m_onlineCount = 0;
    bool m_blinkPhase = false;
    OnlineCountDisplay m_display;
    QTimer *m_heartbeatTimer;
    QTimer *m_onlineTimer;
    QTimer *m_blinkTimer;
    QList<QNetworkReply *> m_inFlight;
    QNetworkReply *m_heartbeatReply = nullptr;
    QNetworkReply *m_onlineReply = nullptr;
    bool m_heartbeatWaiting = false;
    bool m_onlineWaiting = false;
    int m_transferTimeoutMs = kTransferTimeoutMs;
};
