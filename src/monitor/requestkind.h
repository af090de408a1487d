#pragma once

// The kind of a request, carried on the request itself, so replies arriving at a
// shared network manager can be told apart without looking at their URL.

#include <QNetworkReply>
#include <QNetworkRequest>

enum class RequestKind
{
    Unknown = 0,
    GeoLocation,
    Heartbeat,
    OnlineCount
};

namespace RequestKinds {

inline constexpr auto kAttribute = QNetworkRequest::User;

inline void tag(QNetworkRequest &request, RequestKind kind)
{
    request.setAttribute(kAttribute, static_cast<int>(kind));
}

inline RequestKind of(const QNetworkReply *reply)
{
    return reply ? static_cast<RequestKind>(reply->request().attribute(kAttribute, 0).toInt())
                 : RequestKind::Unknown;
}

} // namespace RequestKinds
