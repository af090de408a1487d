#include "monitor/geolocation.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QStringList>

GeoLocation GeoLocation::fromJson(const QJsonObject &object)
{
    GeoLocation location;
    location.valid = object.value(QLatin1String("status")).toString() == QLatin1String("success");
    if (!location.valid)
        return location;
    location.country = object.value(QLatin1String("country")).toString();
    location.countryCode = object.value(QLatin1String("countryCode")).toString();
    location.city = object.value(QLatin1String("city")).toString();
    location.region = object.value(QLatin1String("region")).toString();
    location.provider = object.value(QLatin1String("isp")).toString();
    location.latitude = object.value(QLatin1String("lat")).toDouble();
    location.longitude = object.value(QLatin1String("lon")).toDouble();
    return location;
}

namespace Geo {

QString blankText()
{
    return QStringLiteral("—");
}

QString lookingUpText()
{
    return QStringLiteral("🔍 Определение...");
}

QString failedText()
{
    return QStringLiteral("🔎 Ожидания подключение к игре");
}

bool isUnlookupable(const QString &address)
{
    if (address.isEmpty() || address == blankText())
        return true;
    // Addresses that only mean something on the player's own network: a public service
    // cannot place them, and sending them would tell it about the player's network.
    const QHostAddress host(address);
    if (host.isNull())
        return false;
    if (host.isLoopback() || host.isLinkLocal() || host.isSiteLocal() || host.isUniqueLocalUnicast()
        || host.isEqual(QHostAddress::AnyIPv4) || host.isEqual(QHostAddress::AnyIPv6))
        return true;
    bool isV4 = false;
    const quint32 v4 = host.toIPv4Address(&isV4);
    if (!isV4)
        return false;
    const auto inNet = [v4](quint32 net, int bits) { return (v4 >> (32 - bits)) == (net >> (32 - bits)); };
    return inNet(0x0A000000, 8) || inNet(0xAC100000, 12) || inNet(0xC0A80000, 16) // private
        || inNet(0x64400000, 10) // carrier-grade NAT
        || inNet(0x00000000, 8); // "this network"
}

QString tileText(const GeoLocation &location)
{
    if (!location.valid)
        return blankText();
    QStringList parts;
    if (!location.country.isEmpty())
        parts << location.country;
    if (!location.city.isEmpty())
        parts << location.city;
    return parts.isEmpty() ? blankText() : parts.join(QStringLiteral(" · "));
}

QString toolTip(const GeoLocation &location)
{
    if (!location.valid)
        return QString();
    QStringList lines;
    if (!location.country.isEmpty())
        lines << QStringLiteral("Страна: ") + location.country;
    if (!location.city.isEmpty())
        lines << QStringLiteral("Город: ") + location.city;
    if (!location.region.isEmpty() && location.region != location.city)
        lines << QStringLiteral("Регион: ") + location.region;
    if (!location.provider.isEmpty())
        lines << QStringLiteral("Провайдер: ") + location.provider;
    return lines.join(QLatin1Char('\n'));
}

} // namespace Geo
