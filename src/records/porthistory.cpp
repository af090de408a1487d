#include "records/porthistory.h"

#include "core/datapaths.h"

#include <QDebug>
#include <QFile>

#include <algorithm>

#include "records/gamesession.h"
#include "records/recordexporter.h"
#include "records/recordfile.h"

namespace {

constexpr int kFieldCount = 7;

bool newerFirst(const PortSession &a, const PortSession &b)
{
    if (a.startTime != b.startTime)
        return a.startTime > b.startTime;
    return a.id > b.id;
}

} // namespace

PortHistory::PortHistory(QObject *parent) : PortHistory(defaultFilePath(), parent) { }

PortHistory::PortHistory(const QString &filePath, QObject *parent, Clock clock)
    : QObject(parent), m_clock(std::move(clock)), m_filePath(filePath)
{
    qDebug() << "[PORT HISTORY] Путь к файлу истории:" << m_filePath;
    loadHistory();
}

PortHistory::~PortHistory()
{
    // Receivers may already be half destroyed (owners delete their children last).
    blockSignals(true);
    if (m_currentSession.isActive())
        leavePort();
    else
        saveHistory();
}

QString PortHistory::defaultFilePath()
{
    return DataPaths::writableFolder() + QStringLiteral("/port_history.txt");
}

void PortHistory::closeVisit(PortSession &session) const
{
    if (!session.isActive())
        return;
    session.endTime = now();
    session.durationMs = session.startTime.msecsTo(session.endTime);
    qDebug() << "[PORT HISTORY] Завершена сессия ID:" << session.id << "Порт:" << session.port
             << "Длительность:" << formatDuration(session.durationMs);
}

void PortHistory::visitPort(quint16 port, const QString &server, const QString &description)
{
    if (port == 0) {
        qWarning() << "[PORT HISTORY] Попытка посетить порт 0 - игнорируем";
        return;
    }
    qDebug() << "[PORT HISTORY] visitPort для порта:" << port << "сервер:" << server;

    if (m_currentSession.isActive() && m_currentSession.port == port) {
        qDebug() << "[PORT HISTORY] Уже на порту" << port << "- обновляем информацию";
        updateCurrentPort(port, server);
        return;
    }

    const PortSession found = findActiveSessionForPort(port);
    if (found.id == 0) {
        if (m_currentSession.isActive())
            leavePort();
        PortSession visit;
        visit.id = m_nextId++;
        visit.port = port;
        visit.server = server;
        visit.startTime = now();
        visit.description = description;
        m_currentSession = visit;
        m_sessions.append(visit);
        saveHistory();
        qDebug() << "[PORT HISTORY] Начато посещение порта ID:" << visit.id << "Порт:" << port
                 << "Сервер:" << server;
        emit portVisited(m_currentSession);
        emit sessionStarted(m_currentSession);
        return;
    }

    qDebug() << "[PORT HISTORY] Найдена активная сессия для порта" << port << "ID:" << found.id
             << "- переключаемся на неё";
    if (m_currentSession.isActive())
        leavePort();
    m_currentSession = found;
    if (!server.isEmpty() && server != m_currentSession.server)
        m_currentSession.server = server;
    if (!description.isEmpty())
        m_currentSession.description = description;
    updateSession(m_currentSession);
    saveHistory();
    emit portUpdated(m_currentSession);
    emit sessionUpdated(m_currentSession);
}

void PortHistory::updateCurrentPort(quint16 port, const QString &server)
{
    if (!m_currentSession.isActive()) {
        qDebug() << "[PORT HISTORY] Нет активной сессии, начинаем новую";
        visitPort(port, server, QString());
        return;
    }
    qDebug() << "[PORT HISTORY] updateCurrentPort - текущий порт:" << m_currentSession.port
             << "новый порт:" << port;
    if (port != 0 && port != m_currentSession.port) {
        qDebug() << "[PORT HISTORY] Переход с порта" << m_currentSession.port << "на порт" << port;
        visitPort(port, server, QString());
        return;
    }
    if (server.isEmpty() || server == m_currentSession.server)
        return;
    qDebug() << "[PORT HISTORY] Сервер изменился с" << m_currentSession.server << "на" << server;
    m_currentSession.server = server;
    updateSession(m_currentSession);
    saveHistory();
    emit portUpdated(m_currentSession);
    emit sessionUpdated(m_currentSession);
    qDebug() << "[PORT HISTORY] Обновлена информация о порте ID:" << m_currentSession.id;
}

void PortHistory::leavePort()
{
    if (!m_currentSession.isActive()) {
        qDebug() << "[PORT HISTORY] Нет активного посещения порта для завершения";
        return;
    }
    qDebug() << "[PORT HISTORY] Покидаем порт" << m_currentSession.port;
    closeVisit(m_currentSession);
    updateSession(m_currentSession);
    saveHistory();
    const PortSession closed = m_currentSession;
    m_currentSession = PortSession();
    emit portLeft(closed);
    emit sessionEnded(closed);
}

bool PortHistory::clearHistory()
{
    const QList<PortSession> previous = m_sessions;
    const PortSession previousCurrent = m_currentSession;
    m_sessions.clear();
    m_currentSession = PortSession();
    if (!saveHistory()) {
        // Reporting success would let the history come back at the next start.
        m_sessions = previous;
        m_currentSession = previousCurrent;
        return false;
    }
    emit historyCleared();
    qDebug() << "[PORT HISTORY] Вся история очищена";
    return true;
}

bool PortHistory::deleteSession(qint64 id)
{
    const auto it = std::find_if(
        m_sessions.begin(), m_sessions.end(), [id](const PortSession &s) { return s.id == id; });
    if (it == m_sessions.end())
        return false;
    if (it->isActive()) {
        qWarning() << "[PORT HISTORY] Нельзя удалить активную сессию ID:" << id;
        return false;
    }
    const qsizetype index = it - m_sessions.begin();
    const PortSession removed = *it;
    m_sessions.removeAt(index);
    if (!saveHistory()) {
        m_sessions.insert(index, removed);
        return false;
    }
    qDebug() << "[PORT HISTORY] Удалена сессия ID:" << id;
    return true;
}

int PortHistory::deleteOldSessions(int days)
{
    const QDateTime cutoff = now().addDays(-days);
    int removed = 0;
    for (qsizetype i = m_sessions.size() - 1; i >= 0; --i) {
        const PortSession &s = m_sessions.at(i);
        if (s.isActive())
            continue;
        if (s.startTime.isNull() || s.startTime < cutoff) {
            m_sessions.removeAt(i);
            ++removed;
        }
    }
    if (removed > 0) {
        saveHistory();
        qDebug() << "[PORT HISTORY] Удалено старых сессий:" << removed;
    }
    return removed;
}

QList<PortSession> PortHistory::getAllSessions() const
{
    QList<PortSession> list = m_sessions;
    std::stable_sort(list.begin(), list.end(), newerFirst);
    return list;
}

QList<PortSession> PortHistory::getRecentSessions(int count) const
{
    const QList<PortSession> all = getAllSessions();
    if (count < 0 || count >= all.size())
        return all;
    return all.mid(0, count);
}

QList<PortSession> PortHistory::getSessionsForPort(quint16 port) const
{
    QList<PortSession> list;
    for (const PortSession &s : m_sessions) {
        if (s.port == port)
            list.append(s);
    }
    std::stable_sort(list.begin(), list.end(), newerFirst);
    return list;
}

QList<quint16> PortHistory::getUniquePorts() const
{
    QList<quint16> ports;
    for (const PortSession &s : m_sessions)
        ports.append(s.port);
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

QDateTime PortHistory::lastVisitTime(quint16 port) const
{
    QDateTime latest;
    for (const PortSession &s : m_sessions) {
        if (s.port == port && !s.startTime.isNull() && (latest.isNull() || s.startTime > latest))
            latest = s.startTime;
    }
    return latest;
}

PortSession PortHistory::findActiveSessionForPort(quint16 port) const
{
    for (const PortSession &s : m_sessions) {
        if (s.port == port && s.isActive())
            return s;
    }
    return PortSession();
}

void PortHistory::updateSession(const PortSession &session)
{
    for (PortSession &s : m_sessions) {
        if (s.id == session.id) {
            s.port = session.port;
            s.server = session.server;
            s.startTime = session.startTime;
            s.endTime = session.endTime;
            s.durationMs = session.durationMs;
            s.description = session.description;
            return;
        }
    }
}

QByteArray PortHistory::serialize() const
{
    QByteArray out;
    out.reserve(m_sessions.size() * 96);
    for (const PortSession &s : m_sessions) {
        out += QByteArray::number(s.id);
        out += '|';
        out += QByteArray::number(s.port);
        out += '|';
        RecordFile::appendText(out, RecordFile::singleField(s.server));
        out += '|';
        RecordFile::appendIsoTime(out, s.startTime);
        out += '|';
        RecordFile::appendIsoTime(out, s.endTime);
        out += '|';
        out += QByteArray::number(s.durationMs);
        out += '|';
        RecordFile::appendText(out, RecordFile::singleLine(s.description));
        out += '\n';
    }
    return out;
}

bool PortHistory::saveHistory()
{
    if (!RecordFile::writeAtomically(m_filePath, serialize())) {
        qWarning() << "[PORT HISTORY] Не удалось открыть файл для записи:" << m_filePath;
        return false;
    }
    qDebug() << "[PORT HISTORY] Сохранено сессий:" << m_sessions.size();
    return true;
}

void PortHistory::loadHistory()
{
    if (!QFile::exists(m_filePath)) {
        qDebug() << "[PORT HISTORY] Файл истории не существует, будет создан при сохранении";
        return;
    }
    bool ok = false;
    const QStringList lines = RecordFile::readLines(m_filePath, &ok);
    if (!ok) {
        qWarning() << "[PORT HISTORY] Не удалось открыть файл для чтения:" << m_filePath;
        return;
    }

    m_sessions.clear();
    PortSession open;
    qint64 maxId = 0;
    RecordFile::TimeParser times;
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QLatin1Char('|'), Qt::KeepEmptyParts);
        PortSession visit;
        if (f.size() >= kFieldCount) {
            visit.id = f.at(0).toLongLong();
            visit.port = f.at(1).toUShort();
            visit.server = f.at(2);
            visit.startTime = times.parse(f.at(3));
            visit.endTime = times.parse(f.at(4));
            visit.durationMs = f.at(5).toLongLong();
            // The description is the last field, so a "|" inside it belongs to it.
            visit.description = f.mid(kFieldCount - 1).join(QLatin1Char('|'));
        }
        if (visit.id < 1)
            continue;
        m_sessions.append(visit);
        maxId = std::max(maxId, visit.id);

        if (visit.isActive()) {
            if (open.id == 0) {
                open = visit;
                qDebug() << "[PORT HISTORY] Найдена активная сессия ID:" << visit.id << "Порт:" << visit.port;
            } else {
                qWarning() << "[PORT HISTORY] Найдена вторая активная сессия ID:" << visit.id
                           << "Порт:" << visit.port << "- завершаем";
                closeVisit(m_sessions.last());
            }
        }
    }
    m_nextId = maxId + 1;
    m_currentSession = open;
    qDebug() << "[PORT HISTORY] Загружено сессий:" << m_sessions.size() << "Следующий ID:" << m_nextId
             << "Активная сессия:"
             << (open.id != 0 ? QStringLiteral("да (порт %1)").arg(open.port) : QStringLiteral("нет"));
}

QString PortHistory::formatDuration(qint64 ms)
{
    return GameSession::formatClock(ms);
}

bool PortHistory::exportToCSV(const QString &filePath) const
{
    return RecordFile::writeAtomically(filePath, RecordExporter::historyCsv(getAllSessions()));
}

bool PortHistory::exportToHTML(const QString &filePath) const
{
    return RecordFile::writeAtomically(filePath,
        RecordExporter::historyHtml(getAllSessions(), getUniquePorts().size(), m_currentSession, now()));
}
