#include "monitor/geolocator.h"

#include "core/appconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

GeoLocator::GeoLocator(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : new QNetworkAccessManager(this))
    , m_baseUrl(AppConfig::geoUrl())
    , m_tileText(Geo::blankText())
{
    qRegisterMetaType<GeoLocation>();
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(kRetryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &GeoLocator::retryCurrent);
}

GeoLocator::~GeoLocator()
{
    // Replies of a shared manager may outlive us; they must not call back.
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        disconnect(it.key(), nullptr, this, nullptr);
        it.key()->abort();
        it.key()->deleteLater();
    }
}

void GeoLocator::setBaseUrl(const QString &url)
{
    m_baseUrl = url;
    while (m_baseUrl.endsWith(QLatin1Char('/')))
        m_baseUrl.chop(1);
}

bool GeoLocator::isPending(const QString &address) const
{
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value() == address)
            return true;
    }
    return false;
}

void GeoLocator::lookupGeoLocation(const QString &address)
{
    m_retryTimer.stop();
    if (Geo::isUnlookupable(address)) {
        m_current = GeoLocation();
        m_currentAddress.clear();
        show(Geo::blankText(), QString());
        return;
    }
    m_currentAddress = address;
    const auto cached = m_cache.constFind(address);
    if (cached != m_cache.cend()) {
        m_current = *cached;
        show(Geo::tileText(m_current), Geo::toolTip(m_current));
        return;
    }
    // Whatever is shown belongs to another server now.
    m_current = GeoLocation();
    if (!isPending(address))
        sendRequest(address);
    show(Geo::lookingUpText(), QString());
}

void GeoLocator::sendRequest(const QString &address)
{
    QNetworkRequest request(
        QUrl(m_baseUrl + QStringLiteral("/json/") + QString::fromLatin1(QUrl::toPercentEncoding(address))
            + QStringLiteral("?fields=status,country,countryCode,city,region,isp,lat,lon")));
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(kUserAgent));
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply *reply = m_manager->get(request);
    ++m_requestsSent;
    m_pending.insert(reply, address);
    // A shared manager may be destroyed first, taking its replies with it.
    connect(reply, &QObject::destroyed, this, [this, reply] { m_pending.remove(reply); });
    connect(reply, &QNetworkReply::finished, this,
        [this, reply, address] { onGeoLocationReceived(reply, address); });
}

void GeoLocator::retryCurrent()
{
    // The tile keeps saying that no location is known until an answer comes.
    if (!m_currentAddress.isEmpty() && !m_current.valid && !isPending(m_currentAddress))
        sendRequest(m_currentAddress);
}

void GeoLocator::clearCurrent()
{
    m_retryTimer.stop();
    m_current = GeoLocation();
    m_currentAddress.clear();
    show(Geo::blankText(), QString());
}

void GeoLocator::onGeoLocationReceived(QNetworkReply *reply, const QString &address)
{
    m_pending.remove(reply);
    reply->deleteLater();

    GeoLocation location;
    const bool answered = reply->error() == QNetworkReply::NoError;
    if (answered) {
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
        if (document.isObject())
            location = GeoLocation::fromJson(document.object());
    }
    if (location.valid)
        m_cache.insert(address, location);

    if (address == m_currentAddress) {
        if (location.valid) {
            m_current = location;
            show(Geo::tileText(m_current), Geo::toolTip(m_current));
        } else if (!m_current.valid) {
            show(Geo::failedText(), QString());
            // No answer at all (down, stalled, timed out) is worth asking again; a
            // service that answered "no location" would answer the same.
            if (!answered)
                m_retryTimer.start();
        }
    }
    emit geoLocationReceived(address, location);
}

void GeoLocator::show(const QString &text, const QString &toolTip)
{
    if (text == m_tileText && toolTip == m_toolTip)
        return;
    m_tileText = text;
    m_toolTip = toolTip;
    emit displayChanged(text, toolTip);
}
