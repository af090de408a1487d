#pragma once

// Looks game servers up at the geolocation service and keeps the answers per
// address. At most one request per address is in flight; every reply is handled
// with the reply that finished and stored under the address it was asked for.
// Every request has a transfer time-out, and a failed lookup of the server still
// shown is asked again later, so a service that stalled or was down recovers by itself.

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

#include "monitor/geolocation.h"

class QNetworkAccessManager;
class QNetworkReply;

class GeoLocator final : public QObject
{
    Q_OBJECT

public:
    static constexpr char kUserAgent[] = "TORVAL-NETWORK-MONITOR/1.0";
    static constexpr int kTransferTimeoutMs = 10000;
    static constexpr int kRetryIntervalMs = 20000;

    // manager may be shared with other clients; without one the locator makes its own.
    explicit GeoLocator(QNetworkAccessManager *manager = nullptr, QObject *parent = nullptr);
    ~GeoLocator() override;

    // Service address without the trailing "/json/..." part; defaults to AppConfig::geoUrl().
    void setBaseUrl(const QString &url);
    QString baseUrl() const { return m_baseUrl; }
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }
    void setRetryInterval(int milliseconds) { m_retryTimer.setInterval(milliseconds); }

    // The server shown now is address: show its location from the cache, or ask the service.
    void lookupGeoLocation(const QString &address);
    // The connection is gone: forget the current location (the cache stays).
    void clearCurrent();

    const GeoLocation &current() const { return m_current; }
    QString currentAddress() const { return m_currentAddress; }
    QString tileText() const { return m_tileText; }
    QString toolTip() const { return m_toolTip; }

    bool isCached(const QString &address) const { return m_cache.contains(address); }
    bool isPending(const QString &address) const;
    int requestsSent() const { return m_requestsSent; }

signals:
    // The tile's text or tooltip changed.
    void displayChanged(const QString &text, const QString &toolTip);
    // A lookup finished; location.valid is false when it failed.
    void geoLocationReceived(const QString &address, const GeoLocation &location);

private:
    void sendRequest(const QString &address);
    void retryCurrent();
    void onGeoLocationReceived(QNetworkReply *reply, const QString &address);
    void show(const QString &text, const QString &toolTip);

    QNetworkAccessManager *m_manager;
    QString m_baseUrl;
    QMap<QString, GeoLocation> m_cache;
    QHash<QNetworkReply *, QString> m_pending;
    GeoLocation m_current;
    QString m_currentAddress;
    QString m_tileText;
    QString m_toolTip;
    int m_requestsSent = 0;
    int m_transferTimeoutMs = kTransferTimeoutMs;
    QTimer m_retryTimer;
};
