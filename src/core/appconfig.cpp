#include "core/appconfig.h"

#include <QtGlobal>

namespace {

QString fromEnv(const char *name, const char *fallback)
{
    const QString value = qEnvironmentVariable(name).trimmed();
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

} // namespace

namespace AppConfig {

QString serviceUrl()
{
    QString url = fromEnv(kServiceUrlEnv, kDefaultServiceUrl);
    if (!url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return url;
}

QString geoUrl()
{
    QString url = fromEnv(kGeoUrlEnv, kDefaultGeoUrl);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString releasesUrl()
{
    return fromEnv(kReleasesUrlEnv, kDefaultReleasesUrl);
}

} // namespace AppConfig
