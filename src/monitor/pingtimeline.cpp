#include "monitor/pingtimeline.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

PingTimeline::PingTimeline(QObject *parent) : QObject(parent) { }

qint64 PingTimeline::now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

PingTimeline::Sample PingTimeline::sample(int index) const
{
    return m_ring[std::size_t((m_start + index) % int(m_ring.size()))];
}

void PingTimeline::addPing(int ping, qint64 atMs)
{
    if (!m_gameRunning)
        return;
    if (m_count > 0) {
        const qint64 last = sample(m_count - 1).atMs;
        if (atMs < last - kClockStepBackMs) {
            // The system clock was set back: the held samples no longer fit one time axis.
            m_ring.clear();
            m_start = 0;
            m_count = 0;
            m_marks.clear();
        } else {
            atMs = qMax(atMs, last); // keeps the ring ordered for the searches
        }
    }
    const Sample added {atMs, ping >= kLost ? kLost : qMax(0, ping)};
    m_gamePinged = true;
    if (m_count < kCapacity) {
        m_ring.push_back(added);
        ++m_count;
    } else {
        m_ring[std::size_t(m_start)] = added;
        m_start = (m_start + 1) % kCapacity;
        dropOldMarks();
    }
    emit changed();
}

void PingTimeline::setServer(const QString &host, quint16 port, qint64 atMs)
{
    const QString server = QStringLiteral("%1:%2").arg(host).arg(port);
    if (server == m_server)
        return;
    const bool change = !m_server.isEmpty();
    m_server = server;
    if (change)
        addMark(MarkKind::ServerChanged, atMs, server);
    else
        emit changed();
}

void PingTimeline::setGameRunning(bool running, qint64 atMs)
{
    if (running == m_gameRunning)
        return;
    m_gameRunning = running;
    // Only a game that was drawn needs its end drawn.
    if (!running && m_gamePinged)
        addMark(MarkKind::GameEnded, atMs, QString());
    else
        emit changed(); // the graph tells whether a game runs
    m_gamePinged = false;
}

void PingTimeline::addMark(MarkKind kind, qint64 atMs, const QString &label)
{
    if (!m_marks.isEmpty())
        atMs = qMax(atMs, m_marks.last().atMs);
    m_marks.append(Mark {atMs, kind, label});
    if (m_marks.size() > kMaxMarks)
        m_marks.removeFirst();
    emit changed();
}

void PingTimeline::dropOldMarks()
{
    const qint64 oldest = sample(0).atMs;
    while (!m_marks.isEmpty() && m_marks.first().atMs < oldest)
        m_marks.removeFirst();
}

int PingTimeline::firstIndexFrom(qint64 fromMs) const
{
    int low = 0;
    int high = m_count;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (sample(middle).atMs < fromMs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int PingTimeline::nearestIndex(qint64 atMs, qint64 fromMs) const
{
    const int first = firstIndexFrom(fromMs);
    if (first >= m_count)
        return -1;
    const int after = qMax(first, firstIndexFrom(atMs));
    if (after >= m_count)
        return m_count - 1;
    if (after == first)
        return first;
    // Of two equally close samples the later one wins: it is the one drawn on top.
    return atMs - sample(after - 1).atMs < sample(after).atMs - atMs ? after - 1 : after;
}

PingTimeline::Figures PingTimeline::figuresFrom(qint64 fromMs) const
{
    Figures figures;
    for (int i = firstIndexFrom(fromMs); i < m_count; ++i)
        figures.stats.add(sample(i).ping);
    if (figures.stats.count() > 0)
        figures.current = sample(m_count - 1).ping;
    return figures;
}

bool PingTimeline::loadRecording(const QString &path, qint64 nowMs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool ok = false;
        const qint64 atMs = nowMs - qint64(parts.first().toDouble(&ok) * 1000.0);
        if (!ok || parts.size() < 2)
            return false;
        const QString &what = parts.at(1);
        if (what == QLatin1String("end")) {
            setGameRunning(false, atMs);
        } else if (what == QLatin1String("server") && parts.size() == 3) {
            const QString server = parts.at(2);
            const int colon = server.lastIndexOf(QLatin1Char(':'));
            const uint port = server.mid(colon + 1).toUInt(&ok);
            if (colon <= 0 || !ok || port > 65535)
                return false;
            setGameRunning(true, atMs);
            setServer(server.left(colon), quint16(port), atMs);
        } else {
            const int ping = what.toInt(&ok);
            if (!ok)
                return false;
            setGameRunning(true, atMs);
            addPing(ping, atMs);
        }
    }
    return true;
}
