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
    if (session)
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

QByteArray SessionManager::serialize() const
{
    QByteArray out;
    out.reserve(m_sessions.size() * 112);
    for (const GameSession *s : m_sessions) {
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
        // Empty figures: the session had no ping (no answered one, for median and p95).
        const std::optional<GameSession::Figures> figures = s->figures();
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
        out += '\n';
    }
    return out;
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
    GameSession::Figures figures;
    figures.lossPercent = qBound(0.0, f[12].toDouble(), 100.0);
    figures.jitter = std::max(0.0, f[13].toDouble());
    bool ok = false;
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
    const QByteArray data = RecordFile::readBytes(m_filePath, &ok);
    if (!ok) {
        qWarning() << "[SESSION MANAGER] Не удалось открыть файл для чтения:" << m_filePath;
        return;
    }

    m_sessions.clear();
    qint64 maxId = 0;
    RecordFile::TextPool texts;
    RecordFile::LineReader lines(data);
    m_sessions.reserve(lines.remainingLines());
    QByteArrayView line;
    QByteArrayView f[kFiguresFieldCount + 1];
    QByteArray trimmed;
    while (lines.next(line)) {
        if (RecordFile::needsTextTrim(line, true)) {
            trimmed = QString::fromUtf8(line).trimmed().toUtf8();
            line = trimmed;
        }
        if (line.isEmpty())
            continue;
        const qsizetype count = RecordFile::splitFields(line, f, kFiguresFieldCount + 1);
        if (count < kFieldCount)
            continue;

        const qint64 id = f[0].toLongLong();
        GameSession::Statistics stored;
        stored.average = f[7].toLongLong();
        stored.minimum = f[8].toLongLong();
        stored.maximum = f[9].toLongLong();
        stored.stability = f[10].toInt();
        stored.count = f[11].toLongLong();

        auto *session = new GameSession(this, m_clock);
        session->restore(id, texts.text(f[1]), f[2].toUShort(), RecordFile::WallTime::parse(f[3]),
            RecordFile::WallTime::parse(f[4]), f[5].toLongLong(), texts.text(f[6]), stored,
            readFigures(f, count));
        m_sessions.append(session);
        maxId = std::max(maxId, id);
    }
    m_nextId = maxId + 1;
    qDebug() << "[SESSION MANAGER] Загружено сессий:" << m_sessions.size() << "Следующий ID:" << m_nextId;
}

qint64 SessionManager::totalPlayTime() const
{
    qint64 total = 0;
    for (const GameSession *s : m_sessions)
        total += s->duration();
    return total;
}

qint64 SessionManager::averagePingAllSessions() const
{
    qint64 sum = 0;
    qint64 counted = 0;
    for (const GameSession *s : m_sessions) {
        if (s->pingCount() > 0) {
            sum += s->averagePing();
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
