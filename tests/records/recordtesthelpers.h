#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>

#include "records/clock.h"

// A clock the test moves by hand.
class FakeClock
{
public:
    explicit FakeClock(const QDateTime &start) : m_now(std::make_shared<QDateTime>(start)) { }
    Clock clock() const
    {
        return [now = m_now] { return *now; };
    }
    void advance(qint64 ms) { *m_now = m_now->addMSecs(ms); }
    void set(const QDateTime &time) { *m_now = time; }

private:
    std::shared_ptr<QDateTime> m_now;
};

inline QDateTime localTime(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
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
