#include "monitor/presenceclient.h"

#include "core/appconfig.h"
#include "core/settingskeys.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

const char kAllZeroAddress[] = "00:00:00:00:00:00";

QString labelStyle(const char *colour)
{
    return QStringLiteral("color: %1; font-size: 11px; font-weight: bold;").arg(QLatin1String(colour));
}

QString dotStyle(const char *colour)
{
    return QStringLiteral("background-color: %1; border-radius: 5px;").arg(QLatin1String(colour));
}

} // namespace

namespace Presence {

QList<NetworkInterfaceInfo> systemInterfaces()
{
    QList<NetworkInterfaceInfo> result;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        NetworkInterfaceInfo info;
        info.hardwareAddress = interface.hardwareAddress();
        info.loopback = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        result.append(info);
    }
    return result;
}

QString userIdSeed(const QList<NetworkInterfaceInfo> &interfaces, qint64 msecsSinceEpoch, qint32 random,
    const QUuid &fallback)
{
    QStringList parts;
    for (const NetworkInterfaceInfo &interface : interfaces) {
        if (interface.loopback || interface.hardwareAddress == QLatin1String(kAllZeroAddress))
            continue;
        parts << interface.hardwareAddress;
        break;
    }
    if (parts.isEmpty())
        parts << fallback.toString(QUuid::WithBraces);
    parts << QString::number(msecsSinceEpoch) << QString::number(random);
    return parts.join(QLatin1Char('|'));
}

QString userIdFromSeed(const QString &seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray heartbeatBody(const QString &userId, const QString &appVersion)
{
    QJsonObject body;
    body.insert(QLatin1String("user_id"), userId);
    body.insert(QLatin1String("app_version"), appVersion);
    return QJsonDocument(body).toJson(QJsonDocument::Indented);
}

int parseOnlineCount(const QByteArray &body, bool *ok)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    *ok = document.isObject();
    return *ok ? document.object().value(QLatin1String("online")).toInt() : 0;
}

OnlineCountDisplay onlineCountDisplay(int count, bool ok)
{
    if (!ok || count < 0)
        return {QStringLiteral("?"), labelStyle("#ef4444"), dotStyle("#ef4444")};
    if (count == 0)
        return {QStringLiteral("0"), labelStyle("#94a3b8"), dotStyle("#94a3b8")};
    return {QString::number(count), labelStyle("#4ade80"), QStringLiteral("background-color: #4ade80;")};
}

QString blinkIndicatorStyle(int count, bool phase)
{
    if (count > 0)
        return dotStyle(phase ? "#4ade80" : "#22c55e");
    if (count < 0)
        return dotStyle(phase ? "#ef4444" : "#7f1d1d");
    return dotStyle("#94a3b8");
}

} // namespace Presence

PresenceClient::PresenceClient(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : new QNetworkAccessManager(this))
    , m_interfaces(&Presence::systemInterfaces)
    , m_display(Presence::onlineCountDisplay(0, true))
    , m_heartbeatTimer(new QTimer(this))
    , m_onlineTimer(new QTimer(this))
    , m_blinkTimer(new QTimer(this))
{
    setBaseUrl(AppConfig::serviceUrl());
    m_heartbeatTimer->setInterval(kHeartbeatIntervalMs);
    m_onlineTimer->setInterval(kOnlineCountIntervalMs);
    m_blinkTimer->setInterval(kBlinkIntervalMs);
    connect(m_heartbeatTimer, &QTimer::timeout, this, &PresenceClient::sendHeartbeat);
    connect(m_onlineTimer, &QTimer::timeout, this, &PresenceClient::requestOnlineCount);
    connect(m_blinkTimer, &QTimer::timeout, this, &PresenceClient::blinkOnlineIndicator);
}

PresenceClient::~PresenceClient()
{
    for (QNetworkReply *reply : std::as_const(m_inFlight)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void PresenceClient::setBaseUrl(const QString &url)
{
    m_baseUrl = url;
    if (!m_baseUrl.endsWith(QLatin1Char('/')))
        m_baseUrl += QLatin1Char('/');
}

void PresenceClient::setInterfaceProvider(std::function<QList<NetworkInterfaceInfo>()> provider)
{
    m_interfaces = std::move(provider);
}

QString PresenceClient::ensureUserId()
{
    QSettings settings = openSettings();
    const QString key = QLatin1String(SettingsKeys::kUserId);
    if (settings.contains(key)) {
        m_userId = settings.value(key).toString();
        return m_userId;
    }
    const QString seed = Presence::userIdSeed(m_interfaces ? m_interfaces() : QList<NetworkInterfaceInfo>(),
        QDateTime::currentMSecsSinceEpoch(), static_cast<qint32>(QRandomGenerator::system()->generate()),
        QUuid::createUuid());
    m_userId = Presence::userIdFromSeed(seed);
    settings.setValue(key, m_userId);
    settings.sync();
    return m_userId;
}

void PresenceClient::start()
{
    if (m_userId.isEmpty())
        ensureUserId();
    sendHeartbeat();
    m_heartbeatTimer->start();
    m_onlineTimer->start();
    m_blinkTimer->start();
}

void PresenceClient::stop()
{
    m_heartbeatWaiting = m_onlineWaiting = false;
    m_heartbeatTimer->stop();
    m_onlineTimer->stop();
    m_blinkTimer->stop();
}

void PresenceClient::sendHeartbeat()
{
    if (m_heartbeatReply) {
        m_heartbeatWaiting = true;
        return;
    }
    QNetworkRequest request(QUrl(m_baseUrl + QStringLiteral("heartbeat.php")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply *reply = track(m_manager->post(
        request, Presence::heartbeatBody(m_userId, QString::fromLatin1(AppConfig::kAppVersion))));
    m_heartbeatReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onHeartbeatFinished(reply); });
}

void PresenceClient::requestOnlineCount()
{
    if (m_onlineReply) {
        m_onlineWaiting = true;
        return;
    }
    QNetworkRequest request(QUrl(m_baseUrl + QStringLiteral("online_count.php")));
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply *reply = track(m_manager->get(request));
    m_onlineReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onOnlineCountReceived(reply); });
}

QNetworkReply *PresenceClient::track(QNetworkReply *reply)
{
    // A shared manager may be destroyed first, taking its replies with it.
    m_inFlight.append(reply);
    connect(reply, &QObject::destroyed, this, [this, reply] {
        m_inFlight.removeOne(reply);
        if (m_heartbeatReply == reply)
            m_heartbeatReply = nullptr;
        if (m_onlineReply == reply)
            m_onlineReply = nullptr;
    });
    return reply;
}

void PresenceClient::onHeartbeatFinished(QNetworkReply *reply)
{
    m_inFlight.removeOne(reply);
    m_heartbeatReply = nullptr;
    reply->deleteLater();
    // Heartbeat failures are not shown; the next tick simply tries again.
    emit heartbeatFinished(reply->error() == QNetworkReply::NoError);
    if (std::exchange(m_heartbeatWaiting, false))
        sendHeartbeat();
}

void PresenceClient::onOnlineCountReceived(QNetworkReply *reply)
{
    m_inFlight.removeOne(reply);
    m_onlineReply = nullptr;
    reply->deleteLater();
    bool ok = false;
    int count = 0;
    if (reply->error() == QNetworkReply::NoError)
        count = Presence::parseOnlineCount(reply->readAll(), &ok);
    setOnlineCount(count, ok);
    if (std::exchange(m_onlineWaiting, false))
        requestOnlineCount();
}

void PresenceClient::setOnlineCount(int count, bool ok)
{
    // A failure is kept as -1, not 0, so that every view of the count shows "?" rather
    // than an empty but healthy service.
    m_onlineCount = ok ? count : -1;
    m_display = Presence::onlineCountDisplay(count, ok);
    emit onlineDisplayChanged(m_display.text, m_display.labelStyle, m_display.indicatorStyle);
    emit onlineCountChanged(m_onlineCount);
}

void PresenceClient::blinkOnlineIndicator()
{
    m_blinkPhase = !m_blinkPhase;
    m_display.indicatorStyle = Presence::blinkIndicatorStyle(m_onlineCount, m_blinkPhase);
    emit indicatorStyleChanged(m_display.indicatorStyle);
}
