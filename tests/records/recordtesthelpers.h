#pragma once

#include <QDateTime>
#include <QFile>

#include "records/clock.h"

// A clock the test moves by hand; it must outlive the stores that read it.
struct FakeClock
{
    Clock clock() const
    {
        return [this] { return now; };
    }
    void advance(qint64 ms) { now = now.addMSecs(ms); }
    QDateTime now;
};

inline QDateTime localTime(const char *iso)
{
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}
