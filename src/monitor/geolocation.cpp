#include "monitor/geolocation.h"

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
    return address.isEmpty() || address == blankText() || address == QLatin1String("0.0.0.0")
        || address == QLatin1String("127.0.0.1");
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
