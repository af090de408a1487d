#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

class GameSession;
struct PortSession;

// The CSV and HTML reports of the two record stores, as UTF-8 bytes without a
// byte-order mark. Pure functions of the records and the moment of the report.
namespace RecordExporter {

QByteArray sessionsCsv(const QList<GameSession *> &sessions);
QByteArray sessionsHtml(const QList<GameSession *> &sessions, const QDateTime &now);

// visits newest first, as the history's getAllSessions gives them.
QByteArray historyCsv(const QList<PortSession> &visits);
QByteArray historyHtml(const QList<PortSession> &visits, qsizetype uniquePortCount,
                       const PortSession &current, const QDateTime &now);

// CSV field for a ";"-separated table: quoted only when it holds the separator, a
// quote or a line break, so ordinary values stay exactly as they are.
QString csvField(const QString &value);

// The classes of the session report: "good", "average" or "bad".
QString pingClass(qint64 averagePing);
QString stabilityClass(int stability);

}  // namespace RecordExporter
