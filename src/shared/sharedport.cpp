#include "shared/sharedport.h"

#include <QJsonObject>
#include <QJsonValue>

#include <limits>

namespace {

// A number, or a string holding a decimal integer that fits in 32 bits; else 0.
int numberOrDecimalString(const QJsonValue &value)
{
    if (value.isString()) {
        bool ok = false;
        const qlonglong parsed = value.toString().toLongLong(&ok, 10);
        if (!ok || parsed < std::numeric_limits<int>::min() || parsed > std::numeric_limits<int>::max())
            return 0;
        return static_cast<int>(parsed);
    }
    return value.toInt();
}

} // namespace

namespace SharedPorts {

QString commentSeparator()
{
    return QStringLiteral("\n📝 ");
}

QDateTime parseTime(const QString &text)
{
    return QDateTime::fromString(text, QLatin1String(kTimeFormat));
}

} // namespace SharedPorts

SharedPort SharedPort::fromJson(const QJsonObject &object)
{
    SharedPort entry;
    entry.id = numberOrDecimalString(object.value(QLatin1String("id")));
    entry.userName = object.value(QLatin1String("user_name")).toString();
    // Wider values keep only their low 16 bits, as a 16-bit port field would.
    entry.port = static_cast<quint16>(object.value(QLatin1String("port")).toInteger());
    entry.description = object.value(QLatin1String("description")).toString();
    entry.status = object.value(QLatin1String("status")).toInt();
    entry.likes = object.value(QLatin1String("likes")).toInt();
    entry.userLiked = object.value(QLatin1String("user_liked")).toBool();
    entry.createdAt = SharedPorts::parseTime(object.value(QLatin1String("created_at")).toString());
    return entry;
}

Comment Comment::fromJson(const QJsonObject &object)
{
    Comment comment;
    comment.id = object.value(QLatin1String("id")).toInt();
    comment.userName = object.value(QLatin1String("user_name")).toString();
    comment.comment = object.value(QLatin1String("comment")).toString();
    comment.createdAt = SharedPorts::parseTime(object.value(QLatin1String("created_at")).toString());
    return comment;
}
