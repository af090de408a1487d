#include "records/sessionmanager.h"

#include "core/datapaths.h"

#include <QDebug>
#include <QFile>

#include "records/recordexporter.h"
#include "records/recordfile.h"

namespace {

constexpr int kFieldCount = 12;

} // namespace

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
        saveSessions();
}

QByteArray SessionManager::serialize() const
{
    QByteArray out;
    out.reserve(m_sessions.size() * 96);
    for (const GameSession *s : m_sessions) {
        const GameSession::Statistics st = s->statistics();
        out += QByteArray::number(s->id());
        out += '|';
        RecordFile::appendText(out, RecordFile::singleField(s->server()));
        out += '|';
        out += QByteArray::number(s->port());
        out += '|';
        RecordFile::appendIsoTime(out, s->startTime());
        out += '|';
        RecordFile::appendIsoTime(out, s->endTime());
        out += '|';
        out += QByteArray::number(s->duration());
        out += '|';
        RecordFile::appendText(out, RecordFile::singleField(s->networkType()));
        out += '|';
        out += QByteArray::number(st.average);
        out += '|';
        out += QByteArray::number(st.minimum);
        out += '|';
        out += QByteArray::number(st.maximum);
        out += '|';
        out += QByteArray::number(st.stability);
        out += '|';
        out += QByteArray::number(st.count);
        out += '\n';
    }
    return out;
}

bool SessionManager::saveSessions()
{
    if (!RecordFile::writeAtomically(m_filePath, serialize())) {
        qWarning() << "[SESSION MANAGER] Не удалось открыть файл для записи:" << m_filePath;
        return false;
    }
    qDebug() << "[SESSION MANAGER] Сохранено сессий:" << m_sessions.size();
    return true;
}

void SessionManager::loadSessions()
{
    if (!QFile::exists(m_filePath)) {
        qDebug() << "[SESSION MANAGER] Файл сессий не существует, будет создан при сохранении";
        return;
    }
    bool ok = false;
    const QStringList lines = RecordFile::readLines(m_filePath, &ok);
    if (!ok) {
        qWarning() << "[SESSION MANAGER] Не удалось открыть файл для чтения:" << m_filePath;
        return;
    }

    m_sessions.clear();
    qint64 maxId = 0;
    RecordFile::TimeParser times;
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QLatin1Char('|'), Qt::KeepEmptyParts);
        if (f.size() < kFieldCount)
            continue;

        const qint64 id = f.at(0).toLongLong();
        const quint16 port = f.at(2).toUShort();
        GameSession::Statistics stored;
        stored.average = f.at(7).toLongLong();
        stored.minimum = f.at(8).toLongLong();
        stored.maximum = f.at(9).toLongLong();
        stored.stability = f.at(10).toInt();
        stored.count = f.at(11).toLongLong();

        auto *session = new GameSession(this, m_clock);
        session->restore(id, f.at(1), port, times.parse(f.at(3)), times.parse(f.at(4)), f.at(5).toLongLong(),
            f.at(6), stored);
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
