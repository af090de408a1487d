#pragma once

// Records of the shared ports catalogue as the service lists them.

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

class QJsonObject;

// One published entry. A published comment travels inside description,
// after kCommentSeparator.
struct SharedPort
{
    int id = 0;
    QString userName;
    quint16 port = 0;
    QString description;
    int status = 0;
    int likes = 0;
    bool userLiked = false;
    QDateTime createdAt;

    static SharedPort fromJson(const QJsonObject &object);
};

// One comment on an entry.
struct Comment
{
    int id = 0;
    QString userName;
    QString comment;
    QDateTime createdAt;

    static Comment fromJson(const QJsonObject &object);
};

namespace SharedPorts {

// Line feed, memo emoji, blank: what separates a listed description from its comment.
QString commentSeparator();

// Time stamps of the service: local time, no zone.
inline constexpr char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

QDateTime parseTime(const QString &text);

} // namespace SharedPorts

Q_DECLARE_METATYPE(SharedPort)
Q_DECLARE_METATYPE(Comment)
