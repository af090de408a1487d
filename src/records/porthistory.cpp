#include "records/porthistory.h"

#include "core/datapaths.h"

#include <QDebug>
#include <QFile>

#include <algorithm>

#include "records/gamesession.h"
#include "records/recordexporter.h"
#include "records/recordfile.h"
#include "records/recordwriter.h"

#include <cstring>
#include <utility>

namespace {

constexpr int kFieldCount = 7;

bool newerFirst(const PortSession &a, const PortSession &b)
{
    if (a.startTime != b.startTime)
        return a.startTime > b.startTime;
    return a.id > b.id;
}

} // namespace

// A move to another port closes one visit and opens the next: one rewrite, when the
// outermost change is done.
class HistorySaveBatch
{
public:
    explicit HistorySaveBatch(PortHistory *store) : m_store(store) { ++m_store->m_batchDepth; }
    ~HistorySaveBatch()
    {
        if (--m_store->m_batchDepth == 0 && std::exchange(m_store->m_batchSave, false))
            m_store->scheduleSave();
    }
    HistorySaveBatch(const HistorySaveBatch &) = delete;
    HistorySaveBatch &operator=(const HistorySaveBatch &) = delete;

private:
    PortHistory *m_store;
};

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
    const HistorySaveBatch batch(this);

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
        scheduleSave();
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
    scheduleSave();
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
    scheduleSave();
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
    scheduleSave();
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
    invalidateFrom(0);
    if (!saveHistory()) {
        // Reporting success would let the history come back at the next start.
        m_sessions = previous;
        invalidateFrom(0);
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
    invalidateFrom(index);
    if (!saveHistory()) {
        m_sessions.insert(index, removed);
        invalidateFrom(index);
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
            invalidateFrom(i);
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
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        PortSession &s = m_sessions[i];
        if (s.id == session.id) {
            invalidateFrom(i);
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

void PortHistory::invalidateFrom(qsizetype index)
{
    m_cleanCount = std::min(m_cleanCount, index);
}

QByteArray PortHistory::serialize()
{
    // Lines of visits that did not change since the last save are kept as they were
    // written; a change usually touches only the last visit or two.
    m_cleanCount = std::min(m_cleanCount, m_sessions.size());
    m_lineEnds.resize(m_cleanCount);
    m_serialized.truncate(m_cleanCount ? m_lineEnds.constLast() : 0);
    QByteArray &out = m_serialized;
    out.reserve(out.size() + (m_sessions.size() - m_cleanCount) * 100);
    // The numbers and times of a line go straight into room made for them; a visit mostly
    // starts at the second the one before it ended, so that text is made once.
    QDateTime lastTime;
    QByteArray lastText;
    const auto writeTime = [&](char *p, const QDateTime &time) {
        if (time != lastTime) {
            lastTime = time;
            lastText.truncate(0);
            RecordFile::appendIsoTime(lastText, time);
        }
        std::memcpy(p, lastText.constData(), size_t(lastText.size()));
        return p + lastText.size();
    };
    const auto room = [&out](qsizetype bytes) {
        const qsizetype at = out.size();
        out.resize(at + bytes);
        return out.data() + at;
    };
    const auto done = [&out](const char *end) { out.truncate(end - out.constData()); };
    for (qsizetype i = m_cleanCount; i < m_sessions.size(); ++i) {
        const PortSession &s = m_sessions.at(i);
        char *p = RecordFile::writeNumber(room(48), s.id);
        *p++ = '|';
        p = RecordFile::writeNumber(p, s.port);
        *p++ = '|';
        done(p);
        RecordFile::appendText(out, RecordFile::singleField(s.server));
        p = room(120); // two times (19 bytes, a few more for odd years) and a number
        *p++ = '|';
        p = writeTime(p, s.startTime);
        *p++ = '|';
        p = writeTime(p, s.endTime);
        *p++ = '|';
        p = RecordFile::writeNumber(p, s.durationMs);
        *p++ = '|';
        done(p);
        RecordFile::appendText(out, RecordFile::singleLine(s.description));
        out += '\n';
        m_lineEnds.append(out.size());
    }
    m_cleanCount = m_sessions.size();
    return m_serialized;
}

void PortHistory::scheduleSave()
{
    if (m_batchDepth > 0) {
        m_batchSave = true;
        return;
    }
    RecordWriter::instance().schedule(
        m_filePath, serialize(), RecordWriter::logReport("[PORT HISTORY]", m_filePath, m_sessions.size()));
}

void PortHistory::flush()
{
    RecordWriter::instance().flush(m_filePath);
}

bool PortHistory::saveHistory()
{
    if (!RecordWriter::instance().writeNow(m_filePath, serialize())) {
        qWarning() << "[PORT HISTORY] Не удалось открыть файл для записи:" << m_filePath;
        return false;
    }
    qDebug() << "[PORT HISTORY] Сохранено сессий:" << m_sessions.size();
    return true;
}

void PortHistory::loadHistory()
{
    // A write of this file still under way belongs before what is read now.
    RecordWriter::instance().flush(m_filePath);
    if (!QFile::exists(m_filePath)) {
        qDebug() << "[PORT HISTORY] Файл истории не существует, будет создан при сохранении";
        return;
    }
    bool ok = false;
    QByteArray data = RecordFile::readBytes(m_filePath, &ok);
    if (!ok) {
        qWarning() << "[PORT HISTORY] Не удалось открыть файл для чтения:" << m_filePath;
        return;
    }

    m_sessions.clear();
    invalidateFrom(0);
    m_lineEnds.clear();
    PortSession open;
    qint64 maxId = 0;
    RecordFile::TimeParser times;
    RecordFile::TextPool texts;
    RecordFile::LineReader lines(data);
    m_sessions.reserve(lines.remainingLines());
    QByteArrayView line;
    QByteArrayView f[kFieldCount];
    QByteArray trimmed;
    // While every line so far reads back as this store would write it, the file's own
    // bytes serve as the saved lines (see serialize), so the first save after start
    // need not write the whole history out afresh.
    bool same = true;
    bool whole = false;
    while (lines.next(line, &whole)) {
        if (RecordFile::needsTextTrim(line, false)) {
            trimmed = QString::fromUtf8(line).trimmed().toUtf8();
            line = trimmed;
            whole = false;
        }
        // The description is the last field, so a "|" inside it belongs to it.
        if (line.isEmpty() || RecordFile::splitFields(line, f, kFieldCount) < kFieldCount) {
            same = false;
            continue;
        }
        PortSession visit;
        visit.id = f[0].toLongLong();
        if (visit.id < 1) {
            same = false;
            continue;
        }
        bool serverSame = false, startSame = false, endSame = false, descriptionSame = false;
        visit.port = f[1].toUShort();
        visit.server = texts.text(f[2], &serverSame);
        visit.startTime = times.parse(f[3], &startSame);
        visit.endTime = times.parse(f[4], &endSame);
        visit.durationMs = f[5].toLongLong();
        // Text readers trim white space that only Unicode knows as such.
        visit.description = texts.text(f[6], &descriptionSame).trimmed();
        m_sessions.append(visit);
        maxId = std::max(maxId, visit.id);
        same = same && whole && serverSame && startSame && endSame && descriptionSame
            && RecordFile::isPlainNumber(f[0]) && RecordFile::isPlainNumber(f[1]) && f[1].toInt() <= 65535
            && RecordFile::isPlainNumber(f[5]) && !(visit.isActive() && open.id != 0);
        if (same) {
            m_lineEnds.append(line.data() + line.size() + 1 - data.constData());
            m_cleanCount = m_sessions.size();
        }

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
    m_lineEnds.resize(m_cleanCount);
    data.truncate(m_cleanCount ? m_lineEnds.constLast() : 0);
    m_serialized = std::move(data);
    m_nextId = RecordFile::idAfter(maxId);
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
