#include "records/recordexporter.h"

#include "core/appconfig.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"

namespace RecordExporter {

namespace {

const QString kDateTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");

QString cell(const QString &value)
{
    return QStringLiteral("<td>") + value + QStringLiteral("</td>\n");
}

} // namespace

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"'))
        && !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString pingClass(qint64 averagePing)
{
    if (averagePing > 100)
        return QStringLiteral("bad");
    if (averagePing > 50)
        return QStringLiteral("average");
    return QStringLiteral("good");
}

QString stabilityClass(int stability)
{
    if (stability < 70)
        return QStringLiteral("bad");
    if (stability < 90)
        return QStringLiteral("average");
    return QStringLiteral("good");
}

QByteArray sessionsCsv(const QList<GameSession *> &sessions)
{
    QString out = QStringLiteral("ID;Дата;Время начала;Длительность;Сервер;Порт;Тип сети;")
        + QStringLiteral("Количество пингов;Средний пинг;Мин. пинг;Макс. пинг;Стабильность\n");
    const QChar sep(QLatin1Char(';'));
    for (const GameSession *s : sessions) {
        const GameSession::Statistics st = s->statistics();
        out += QString::number(s->id()) + sep + s->startTime().toString(QStringLiteral("dd.MM.yyyy")) + sep
            + s->startTime().toString(QStringLiteral("HH:mm:ss")) + sep + s->durationString() + sep
            + csvField(s->server()) + sep + QString::number(s->port()) + sep + csvField(s->networkType())
            + sep + QString::number(st.count) + sep + QString::number(st.average) + sep
            + QString::number(st.minimum) + sep + QString::number(st.maximum) + sep
            + QString::number(st.stability) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray sessionsHtml(const QList<GameSession *> &sessions, const QDateTime &now)
{
    qint64 total = 0;
    for (const GameSession *s : sessions)
        total += s->duration();

    QString out;
    out += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n");
    out += QStringLiteral("<title>Статистика сессий RF4</title>\n<style>\n");
    out += QStringLiteral("body { font-family: Arial, sans-serif; margin: 20px; }\n");
    out += QStringLiteral("table { border-collapse: collapse; width: 100%; }\n");
    out += QStringLiteral("th, td { border: 1px solid #ddd; padding: 8px; text-align: left; }\n");
    out += QStringLiteral("th { background-color: #2b6cb0; color: white; }\n");
    out += QStringLiteral("tr:nth-child(even) { background-color: #f2f2f2; }\n");
    out += QStringLiteral(".good { color: #38a169; }\n");
    out += QStringLiteral(".average { color: #d69e2e; }\n");
    out += QStringLiteral(".bad { color: #e53e3e; }\n");
    out += QStringLiteral("</style>\n</head>\n<body>\n");
    out += QStringLiteral("<h1>🎣 Статистика игровых сессий Русская Рыбалка 4</h1>\n");
    out += QStringLiteral("<p>Всего сессий: ") + QString::number(sessions.size()) + QStringLiteral("</p>\n");
    out += QStringLiteral("<p>Общее время игры: ") + SessionManager::formatDuration(total)
        + QStringLiteral("</p>\n");
    out += QStringLiteral("<p>Отчет сгенерирован: ") + now.toString(kDateTimeFormat)
        + QStringLiteral("</p>\n");
    out += QStringLiteral("<table>\n<thead>\n<tr>\n");
    out += QStringLiteral("<th>ID</th><th>Дата</th><th>Время</th><th>Длительность</th>\n");
    out += QStringLiteral("<th>Сервер</th><th>Порт</th><th>Тип сети</th><th>Пингов</th>\n");
    out += QStringLiteral("<th>Ср. пинг</th><th>Мин.</th><th>Макс.</th><th>Стабильность</th>\n");
    out += QStringLiteral("</tr>\n</thead>\n<tbody>\n");
    for (const GameSession *s : sessions) {
        const GameSession::Statistics st = s->statistics();
        out += QStringLiteral("<tr>\n");
        out += cell(QString::number(s->id()));
        out += cell(s->startTime().toString(QStringLiteral("dd.MM.yyyy")));
        out += cell(s->startTime().toString(QStringLiteral("HH:mm:ss")));
        out += cell(s->durationString());
        // Server and network type come from outside; they are text, never markup.
        out += cell(s->server().toHtmlEscaped());
        out += cell(QString::number(s->port()));
        out += cell(s->networkType().toHtmlEscaped());
        out += cell(QString::number(st.count));
        out += QStringLiteral("<td class=\"") + pingClass(st.average) + QStringLiteral("\">")
            + QString::number(st.average) + QStringLiteral(" мс</td>\n");
        out += QStringLiteral("<td>") + QString::number(st.minimum) + QStringLiteral(" мс</td>\n");
        out += QStringLiteral("<td>") + QString::number(st.maximum) + QStringLiteral(" мс</td>\n");
        out += QStringLiteral("<td class=\"") + stabilityClass(st.stability) + QStringLiteral("\">")
            + QString::number(st.stability) + QStringLiteral("%</td>\n");
        out += QStringLiteral("</tr>\n");
    }
    const QString site = QString::fromLatin1(AppConfig::kWebSiteUrl);
    out += QStringLiteral("</tbody>\n</table>\n");
    out += QStringLiteral("<p>Отчет сгенерирован программой KESTREL v")
        + QString::fromLatin1(AppConfig::kAppVersion) + QStringLiteral("</p>\n");
    out += QStringLiteral("<p>Сайт: <a href='") + site + QStringLiteral("'>") + site
        + QStringLiteral("</a></p>\n");
    out += QStringLiteral("</body>\n</html>\n");
    return out.toUtf8();
}

QByteArray historyCsv(const QList<PortSession> &visits)
{
    QString out = QStringLiteral("ID;Порт;Сервер;Время начала;Время окончания;Длительность;Описание\n");
    const QChar sep(QLatin1Char(';'));
    for (const PortSession &v : visits) {
        out += QString::number(v.id) + sep + QString::number(v.port) + sep + csvField(v.server) + sep
            + v.startTime.toString(kDateTimeFormat) + sep
            + (v.isActive() ? QStringLiteral("Активна") : v.endTime.toString(kDateTimeFormat)) + sep
            + PortHistory::formatDuration(v.durationMs) + sep + csvField(v.description) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray historyHtml(const QList<PortSession> &visits, qsizetype uniquePortCount,
    const PortSession &current, const QDateTime &now)
{
    QString out;
    out += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n");
    out += QStringLiteral("<title>История портов</title>\n<style>\n");
    out += QStringLiteral("body { font-family: 'Segoe UI', Arial, sans-serif; margin: 20px; background: "
                          "#0f172a; color: #e2e8f0; }\n");
    out += QStringLiteral("h1 { color: #3b82f6; border-bottom: 2px solid #3b82f6; padding-bottom: 10px; }\n");
    out += QStringLiteral("table { border-collapse: collapse; width: 100%; margin-top: 20px; }\n");
    out += QStringLiteral("th, td { border: 1px solid #334155; padding: 12px; text-align: left; }\n");
    out += QStringLiteral("th { background-color: #1e293b; color: #fbbf24; }\n");
    out += QStringLiteral("tr:nth-child(even) { background-color: #1e293b; }\n");
    out += QStringLiteral("tr:hover { background-color: #334155; }\n");
    out += QStringLiteral(".active-session { background-color: rgba(34, 197, 94, 0.2) !important; }\n");
    out += QStringLiteral(
        ".stats { background: #1e293b; padding: 15px; border-radius: 8px; margin-bottom: 20px; }\n");
    out += QStringLiteral(".stat-item { display: inline-block; margin-right: 30px; }\n");
    out += QStringLiteral(".stat-value { font-size: 24px; font-weight: bold; color: #22d3ee; }\n");
    out += QStringLiteral("</style>\n</head>\n<body>\n<h1>📊 История подключений</h1>\n<div class='stats'>\n");
    out += QStringLiteral("<div class='stat-item'>📈 Всего сессий: <span class='stat-value'>")
        + QString::number(visits.size()) + QStringLiteral("</span></div>\n");
    out += QStringLiteral("<div class='stat-item'>🎮 Уникальных портов: <span class='stat-value'>")
        + QString::number(uniquePortCount) + QStringLiteral("</span></div>\n");
    if (current.isActive()) {
        out += QStringLiteral(
                   "<div class='stat-item'>🟢 Текущий порт: <span class='stat-value'>")
            + QString::number(current.port) + QStringLiteral("</span></div>\n");
    }
    out += QStringLiteral("</div>\n<table>\n<thead>\n<tr>\n");
    out += QStringLiteral(
        "<th>ID</th><th>Порт</th><th>Сервер</th><th>Время начала</th><th>Время окончания</th>"
        "<th>Длительность</th><th>Описание</th>\n");
    out += QStringLiteral("</tr>\n</thead>\n<tbody>\n");
    for (const PortSession &v : visits) {
        out += QStringLiteral("<tr ") + (v.isActive() ? QStringLiteral("class='active-session'") : QString())
            + QStringLiteral(">\n");
        out += cell(QString::number(v.id));
        out += QStringLiteral("<td><b>") + QString::number(v.port) + QStringLiteral("</b></td>\n");
        out += cell(v.server.toHtmlEscaped());
        out += cell(v.startTime.toString(kDateTimeFormat));
        out += cell(v.isActive() ? QStringLiteral("Активна") : v.endTime.toString(kDateTimeFormat));
        out += cell(PortHistory::formatDuration(v.durationMs));
        out += cell(v.description.toHtmlEscaped());
        out += QStringLiteral("</tr>\n");
    }
    out += QStringLiteral("</tbody>\n</table>\n");
    out += QStringLiteral("<p style='margin-top: 20px; color: #64748b;'>Отчет сгенерирован: ")
        + now.toString(kDateTimeFormat) + QStringLiteral("</p>\n");
    out += QStringLiteral("</body>\n</html>\n");
    return out.toUtf8();
}

} // namespace RecordExporter
