#pragma once

// Where a game server stands, as the geolocation service reports it, and the
// texts of the geolocation tile.

#include <QMetaType>
#include <QString>

class QJsonObject;

struct GeoLocation
{
    QString country;
    QString countryCode;
    QString city;
    QString region;
    QString provider;
    double latitude = 0.0;
    double longitude = 0.0;
    bool valid = false;

    // valid only when "status" is "success"; missing members give empty texts or 0.
    static GeoLocation fromJson(const QJsonObject &object);
};

namespace Geo {

// Addresses that are never looked up (none, loopback, private, link-local, carrier-grade
// NAT, unspecified): the tile shows "—".
bool isUnlookupable(const QString &address);

// Tile text: country and city, each when present, joined by " · "; "—" when invalid or both empty.
QString tileText(const GeoLocation &location);
// One line per non-empty detail; the region only when it differs from the city.
QString toolTip(const GeoLocation &location);

QString blankText(); // "—"
QString lookingUpText(); // shown while the request is in flight
QString failedText(); // shown when no location could be found

} // namespace Geo

Q_DECLARE_METATYPE(GeoLocation)
