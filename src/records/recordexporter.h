#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

#include "monitor/pingstatistics.h"

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
QString lossClass(double lossPercent);

// A session's loss, jitter, median and p95 as the player reads them ("0,5 %", "3,2 мс",
// "41 мс"); "—" for what is unknown.
struct FigureTexts
{
    QString loss;
    QString jitter;
    QString median;
    QString p95;
};
FigureTexts figureTexts(const std::optional<PingStatistics::Summary> &figures);

// Inline SVG (no scripts, no external files) of each session's median and p95 over
// time, with its loss in a strip below; a note instead when no session has figures.
QString sessionsChart(const QList<GameSession *> &sessions);

} // namespace RecordExporter
