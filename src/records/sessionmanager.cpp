#include "records/sessionmanager.h"

#include "core/datapaths.h"

#include <QDebug>
#include <QFile>

#include "records/recordexporter.h"
#include "records/recordfile.h"
#include "records/recordwriter.h"

#include <utility>

namespace {

// The twelve fields every version reads, then loss %, jitter, median and p95 over the
// whole session, which older versions skip as extra fields.
constexpr int kFieldCount = 12;
constexpr int kFiguresFieldCount = 16;

} // namespace

// Changes that rewrite the file more than once (ending one session and starting the
// next) save once, when the outermost change is done.
class SessionSaveBatch
{
public:
    explicit SessionSaveBatch(SessionManager *store) : m_store(store) { ++m_store->m_batchDepth; }
    ~SessionSaveBatch()
    {
        if (--m_store->m_batchDepth == 0 && std::exchange(m_store->m_batchSave, false))
            m_store->scheduleSave();
    }
    SessionSaveBatch(const SessionSaveBatch &) = delete;
    SessionSaveBatch &operator=(const SessionSaveBatch &) = delete;

private:
    SessionManager *m_store;
};

SessionManager::SessionManager(QObject *parent) : SessionManager(defaultFilePath(), parent) { }

SessionManager::SessionManager(const QString &filePath, QObject *parent, Clock clock)
    : QObject(parent), m_clock(std::move(clock)), m_filePath(filePath)
{
    qDebug() << "[SESSION MANAGER] Путь к файлу сессий:" << m_filePath;
    loadSessions();
}

SessionManager::~SessionManager()
{
    // Receivers may be half destroyed by now (the owner deletes its children last), so
    // the final end and save happen without signals.
    blockSignals(true);
    if (m_currentSession && m_currentSession->isActive() && !m_currentSession->isPaused())
        m_currentSession->end();
    saveSessions();
    m_sessions.clear();
    m_currentSession = nullptr;
}

QString SessionManager::defaultFilePath()
{
    return DataPaths::writableFolder() + QStringLiteral("/game_sessions.txt");
}

GameSession *SessionManager::startNewSession(const QString &server, quint16 port)
{
    const SessionSaveBatch batch(this);
    if (m_currentSession && m_currentSession->isActive() && !m_currentSession->isPaused())
        endCurrentSession();

    auto *session = new GameSession(this, m_clock);
    m_currentSession = session;
    session->setId(m_nextId++);
    session->start(server, port);
    m_sessions.append(session);
    updateSession(session);
    emit sessionStarted(session);
    return session;
}

void SessionManager::endCurrentSession()
{
    if (!m_currentSession || !m_currentSession->isActive() || m_currentSession->isPaused())
        return;
    m_currentSession->end();
    updateSession(m_currentSession);
    emit sessionEnded(m_currentSession);
}

void SessionManager::pauseCurrentSession()
{
    if (!m_currentSession || !m_currentSession->isActive() || m_currentSession->isPaused())
        return;
    m_currentSession->pause();
    emit sessionPaused(m_currentSession);
}

void SessionManager::resumeCurrentSession()
{
    if (!m_currentSession || !m_currentSession->isPaused())
        return;
    m_currentSession->resume();
    emit sessionResumed(m_currentSession);
}

void SessionManager::updateSession(GameSession *session)
{
    if (!session)
        return;
    invalidateFrom(std::max<qsizetype>(0, m_sessions.lastIndexOf(session)));
    scheduleSave();
}

void SessionManager::scheduleSave()
{
    if (m_batchDepth > 0) {
        m_batchSave = true;
        return;
    }
    RecordWriter::instance().schedule(
        m_filePath, serialize(), RecordWriter::logReport("[SESSION MANAGER]", m_filePath, m_sessions.size()));
}

void SessionManager::flush()
{
    RecordWriter::instance().flush(m_filePath);
}

void SessionManager::appendLine(QByteArray &out, const GameSession *s)
{
    const GameSession::Statistics st = s->statistics();
    RecordFile::appendNumber(out, s->id());
    out += '|';
    RecordFile::appendText(out, RecordFile::singleField(s->server()));
    out += '|';
    RecordFile::appendNumber(out, s->port());
    out += '|';
    s->storedStartTime().appendIso(out);
    out += '|';
    s->storedEndTime().appendIso(out);
    out += '|';
    RecordFile::appendNumber(out, s->duration());
    out += '|';
    RecordFile::appendText(out, RecordFile::singleField(s->networkType()));
    for (const qint64 value : {st.average, st.minimum, st.maximum, qint64(st.stability), st.count}) {
        out += '|';
        RecordFile::appendNumber(out, value);
    }
    appendFigures(out, s->figures());
    out += '\n';
}

void SessionManager::appendFigures(QByteArray &out, const std::optional<GameSession::Figures> &figures)
{
    // Empty figures: the session had no ping (no answered one, for median and p95).
    out += '|';
    if (figures)
        RecordFile::appendTenths(out, figures->lossPercent);
    out += '|';
    if (figures)
        RecordFile::appendTenths(out, figures->jitter);
    for (const int value : {figures ? figures->median : -1, figures ? figures->p95 : -1}) {
        out += '|';
        if (value >= 0)
            RecordFile::appendNumber(out, value);
    }
}

QByteArray SessionManager::serialize()
{
    // The current session's line moves with its running time: it is always written afresh.
    qsizetype clean = std::min(m_cleanCount, m_sessions.size());
    if (m_currentSession) {
        const qsizetype current = m_sessions.lastIndexOf(m_currentSession);
        if (current >= 0)
            clean = std::min(clean, current);
    }
    m_lineEnds.resize(clean);
    m_serialized.truncate(clean ? m_lineEnds.constLast() : 0);
    m_serialized.reserve(m_serialized.size() + (m_sessions.size() - clean) * 112);
    for (qsizetype i = clean; i < m_sessions.size(); ++i) {
        appendLine(m_serialized, m_sessions.at(i));
        m_lineEnds.append(m_serialized.size());
    }
    m_cleanCount = m_sessions.size();
    return m_serialized;
}

bool SessionManager::saveSessions()
{
    if (!RecordWriter::instance().writeNow(m_filePath, serialize())) {
        qWarning() << "[SESSION MANAGER] Не удалось открыть файл для записи:" << m_filePath;
        return false;
    }
    qDebug() << "[SESSION MANAGER] Сохранено сессий:" << m_sessions.size();
    return true;
}

namespace {

std::optional<GameSession::Figures> readFigures(const QByteArrayView *f, qsizetype count)
{
    if (count < kFiguresFieldCount || f[kFieldCount].isEmpty())
        return std::nullopt;
    // Loss is a share, jitter a difference of two pings (each below 1000 ms); anything else,
    // "inf" and "nan" among it, was not written by this program and is dropped with the rest.
    bool ok = false;
    GameSession::Figures figures;
    figures.lossPercent = f[12].toDouble(&ok);
    if (!ok || !(figures.lossPercent >= 0.0 && figures.lossPercent <= 100.0))
        return std::nullopt;
    figures.jitter = f[13].toDouble(&ok);
    if (!ok || !(figures.jitter >= 0.0 && figures.jitter < 1000.0))
        return std::nullopt;
    figures.median = f[14].toInt(&ok);
    if (!ok || figures.median < 0)
        figures.median = -1;
    figures.p95 = f[15].toInt(&ok);
    if (!ok || figures.p95 < 0)
        figures.p95 = -1;
    return figures;
}

} // namespace

void SessionManager::loadSessions()
{
    // A write of this file still under way belongs before what is read now.
    RecordWriter::instance().flush(m_filePath);
    if (!QFile::exists(m_filePath)) {
        qDebug() << "[SESSION MANAGER] Файл сессий не существует, будет создан при сохранении";
        return;
    }
    bool ok = false;
    QByteArray data = RecordFile::readBytes(m_filePath, &ok);
    if (!ok) {
        qWarning() << "[SESSION MANAGER] Не удалось открыть файл для чтения:" << m_filePath;
        return;
    }

    m_sessions.clear();
    m_lineEnds.clear();
    m_cleanCount = 0;
    qint64 maxId = 0;
    RecordFile::TextPool texts;
    RecordFile::LineReader lines(data);
    m_sessions.reserve(lines.remainingLines());
    QByteArrayView line;
    QByteArrayView f[kFiguresFieldCount + 1];
    QByteArray trimmed;
    // While every line so far is exactly what this store writes, the file's own bytes
    // serve as the kept lines, so the first save after start need not write them afresh.
    bool same = true;
    bool whole = false;
    QByteArray written;
    while (lines.next(line, &whole)) {
        if (RecordFile::needsTextTrim(line, true)) {
            trimmed = QString::fromUtf8(line).trimmed().toUtf8();
            line = trimmed;
            whole = false;
        }
        const qsizetype count = line.isEmpty() ? 0 : RecordFile::splitFields(line, f, kFiguresFieldCount + 1);
        if (count < kFieldCount) {
            same = false;
            continue;
        }

        const qint64 id = f[0].toLongLong();
        GameSession::Statistics stored;
        stored.average = f[7].toLongLong();
        stored.minimum = f[8].toLongLong();
        stored.maximum = f[9].toLongLong();
        stored.stability = f[10].toInt();
        stored.count = f[11].toLongLong();
        const RecordFile::WallTime start = RecordFile::WallTime::parse(f[3]);
        const RecordFile::WallTime end = RecordFile::WallTime::parse(f[4]);
        const std::optional<GameSession::Figures> figures = readFigures(f, count);
        bool serverSame = false;
        bool networkSame = false;

        auto *session = new GameSession(this, m_clock);
        session->restore(id, texts.text(f[1], &serverSame), f[2].toUShort(), start, end, f[5].toLongLong(),
            texts.text(f[6], &networkSame), stored, figures);
        m_sessions.append(session);
        maxId = std::max(maxId, id);

        // The line is kept when every field reads back as it would be written.
        same = same && whole && count == kFiguresFieldCount && serverSame && networkSame
            && start.writesBack(f[3]) && end.writesBack(f[4]) && f[2].toInt() <= 65535 && f[10].size() <= 9;
        for (const int plain : {0, 2, 5, 7, 8, 9, 10, 11})
            same = same && RecordFile::isPlainNumber(f[plain]);
        if (same) {
            written.clear();
            appendFigures(written, figures);
            same = written == line.sliced(f[11].data() + f[11].size() - line.data());
        }
        if (same) {
            m_lineEnds.append(line.data() + line.size() + 1 - data.constData());
            m_cleanCount = m_sessions.size();
        }
    }
    data.truncate(m_cleanCount ? m_lineEnds.constLast() : 0);
    m_serialized = std::move(data);
    m_nextId = RecordFile::idAfter(maxId);
    qDebug() << "[SESSION MANAGER] Загружено сессий:" << m_sessions.size() << "Следующий ID:" << m_nextId;
}

qint64 SessionManager::totalPlayTime() const
{
    qint64 total = 0;
    for (const GameSession *s : m_sessions)
        total = RecordFile::addClamped(total, s->duration());
    return total;
}

qint64 SessionManager::averagePingAllSessions() const
{
    qint64 sum = 0;
    qint64 counted = 0;
    for (const GameSession *s : m_sessions) {
        if (s->pingCount() > 0) {
            sum = RecordFile::addClamped(sum, s->averagePing());
            ++counted;
        }
    }
    return counted ? sum / counted : 0;
}

int SessionManager::bestSessionId() const
{
    const GameSession *best = nullptr;
    for (const GameSession *s : m_sessions) {
        if (!best || s->stability() > best->stability())
            best = s;
    }
    return best ? static_cast<int>(best->id()) : -1;
}

QString SessionManager::formatDuration(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1 ч %2 м %3 с").arg(seconds / 3600).arg((seconds / 60) % 60).arg(seconds % 60);
}

bool SessionManager::exportToCSV(const QString &filePath) const
{
    return RecordFile::writeAtomically(filePath, RecordExporter::sessionsCsv(m_sessions));
}

bool SessionManager::exportToHTML(const QString &filePath) const
{
    return RecordFile::writeAtomically(filePath, RecordExporter::sessionsHtml(m_sessions, clockNow(m_clock)));
}
