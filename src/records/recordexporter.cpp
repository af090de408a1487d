#include "records/recordexporter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/appconfig.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/recordfile.h"
#include "records/sessionmanager.h"

namespace RecordExporter {

namespace {

const QString kDateTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");

QString cell(const QString &value)
{
    return QStringLiteral("<td>") + value + QStringLiteral("</td>\n");
}

// One decimal with the decimal comma the players' spreadsheets and eyes expect.
QString tenths(double value)
{
    return QString::number(value, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}

// The four figure columns of the CSV report, empty where unknown.
QString csvFigures(const std::optional<PingStatistics::Summary> &f)
{
    const QChar sep(QLatin1Char(';'));
    if (!f)
        return QString(3, sep);
    const auto ms = [](int value) { return value >= 0 ? QString::number(value) : QString(); };
    return tenths(f->lossPercent) + sep + tenths(f->jitter) + sep + ms(f->median) + sep + ms(f->p95);
}

// Coordinates in the chart, one decimal.
QString px(double value)
{
    return QString::number(value, 'f', 1);
}

// The smallest of 1, 2, 2.5 or 5 times a power of ten that is at least value.
double niceCeiling(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (step * power >= value)
            return step * power;
    }
    return 10 * power;
}

// A grid step of 1, 2 or 5 times a power of ten that covers value in at most five steps.
double gridStep(double value)
{
    double step = std::pow(10.0, std::floor(std::log10(value / 5)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (std::ceil(value / (step * factor)) <= 5)
            return step * factor;
    }
    return step * 10;
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

QString lossClass(double lossPercent)
{
    if (lossPercent >= 5)
        return QStringLiteral("bad");
    if (lossPercent >= 1)
        return QStringLiteral("average");
    return QStringLiteral("good");
}

FigureTexts figureTexts(const std::optional<PingStatistics::Summary> &f)
{
    const QString none = QStringLiteral("—");
    if (!f)
        return {none, none, none, none};
    const auto ms
        = [&](int value) { return value >= 0 ? QString::number(value) + QStringLiteral(" мс") : none; };
    return {tenths(f->lossPercent) + QStringLiteral(" %"), tenths(f->jitter) + QStringLiteral(" мс"),
        ms(f->median), ms(f->p95)};
}

QString sessionsChart(const QList<GameSession *> &sessions)
{
    struct Point
    {
        qint64 at; // ms since the epoch
        QDateTime start;
        PingStatistics::Summary f;
    };
    std::vector<Point> points;
    for (const GameSession *s : sessions) {
        const std::optional<GameSession::Figures> f = s->figures();
        const QDateTime start = s->startTime();
        if (f && start.isValid())
            points.push_back({start.toMSecsSinceEpoch(), start, *f});
    }
    if (points.empty())
        return QStringLiteral("<p>Нет сессий с измерениями для графика.</p>\n");
    std::stable_sort(
        points.begin(), points.end(), [](const Point &a, const Point &b) { return a.at < b.at; });

    // Plot of the pings on top, strip of the loss below; the time axis is shared.
    constexpr double kLeft = 64, kRight = 940, kTop = 40, kPlotBottom = 250, kLossTop = 280,
                     kLossBottom = 340;
    qint64 first = points.front().at, last = points.back().at;
    if (last - first < 3'600'000) { // a single moment still gets a readable axis
        first -= 1'800'000;
        last += 1'800'000;
    }
    int maxMs = 0;
    double maxLoss = 0;
    for (const Point &p : points) {
        maxMs = std::max({maxMs, p.f.median, p.f.p95});
        maxLoss = std::max(maxLoss, p.f.lossPercent);
    }
    const double msStep = gridStep(std::max(maxMs, 50));
    const int msSteps = int(std::ceil(std::max(maxMs, 50) / msStep));
    const double msTop = msStep * msSteps;
    const double lossTop = niceCeiling(std::max(maxLoss, 1.0));
    // Inset, so the first and last marks stay clear of the axes.
    const auto x = [&](qint64 at) {
        return kLeft + 12 + (kRight - kLeft - 24) * double(at - first) / double(last - first);
    };
    const auto yMs = [&](int ms) { return kPlotBottom - (kPlotBottom - kTop) * ms / msTop; };
    const double lossScale = (kLossBottom - kLossTop) / lossTop;

    QString svg
        = QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 960 380\" "
                         "width=\"100%\" role=\"img\" aria-label=\"Пинг и потери по сессиям\" "
                         "font-family=\"Arial, sans-serif\" font-size=\"12\">\n");
    svg += QStringLiteral("<rect x=\"0\" y=\"0\" width=\"960\" height=\"380\" fill=\"#ffffff\"/>\n");
    // Ping grid and its scale.
    for (int i = 0; i <= msSteps; ++i) {
        const double value = msStep * i;
        const QString y = px(yMs(int(value)));
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#e2e8f0\"/>\n")
                   .arg(px(kLeft), y, px(kRight));
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" fill=\"#4a5568\">%3 мс</text>\n")
                   .arg(px(kLeft - 6), px(yMs(int(value)) + 4), QString::number(value, 'f', 0));
    }
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#cbd5e0\"/>\n")
               .arg(px(kLeft), px(kLossBottom), px(kRight));
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" fill=\"#4a5568\">%3 %</text>\n")
               .arg(px(kLeft - 6), px(kLossTop + 4), QString(tenths(lossTop)).remove(QLatin1String(",0")));
    svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\" fill=\"#4a5568\">потери</text>\n")
               .arg(px(kLeft - 6), px(kLossBottom));

    // Time ticks on whole days (or hours, for a short span), at most about eight.
    const qint64 hour = 3'600'000, day = 24 * hour;
    const qint64 span = last - first;
    qint64 step = hour;
    for (const qint64 candidate : {hour, 3 * hour, 6 * hour, 12 * hour, day, 2 * day, 7 * day, 14 * day,
             30 * day, 91 * day, 182 * day, 365 * day}) {
        step = candidate;
        if (span / candidate <= 8)
            break;
    }
    const QDateTime firstTime = QDateTime::fromMSecsSinceEpoch(first);
    QDateTime tick = step >= day ? QDateTime(firstTime.date(), QTime(0, 0))
                                 : QDateTime(firstTime.date(), QTime(firstTime.time().hour(), 0));
    const QString tickFormat = step >= day ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("dd.MM HH:mm");
    for (int guard = 0; guard < 64 && tick.toMSecsSinceEpoch() <= last; ++guard) {
        if (tick.toMSecsSinceEpoch() >= first) {
            const QString tx = px(x(tick.toMSecsSinceEpoch()));
            svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#edf2f7\"/>\n")
                       .arg(tx, px(kTop), px(kLossBottom));
            svg += QStringLiteral(
                "<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" fill=\"#4a5568\">%3</text>\n")
                       .arg(tx, px(kLossBottom + 18), tick.toString(tickFormat));
        }
        tick = step >= day ? tick.addDays(step / day) : tick.addMSecs(step);
    }

    // The two lines, then one mark per session: its median and p95 points and its loss bar.
    QString medianLine, p95Line;
    for (const Point &p : points) {
        if (p.f.median < 0)
            continue; // no ping answered: only its loss is known
        medianLine += px(x(p.at)) + QLatin1Char(',') + px(yMs(p.f.median)) + QLatin1Char(' ');
        p95Line += px(x(p.at)) + QLatin1Char(',') + px(yMs(p.f.p95)) + QLatin1Char(' ');
    }
    svg += QStringLiteral("<polyline fill=\"none\" stroke=\"#d69e2e\" stroke-width=\"1.5\" points=\"%1\"/>\n")
               .arg(p95Line.trimmed());
    svg += QStringLiteral("<polyline fill=\"none\" stroke=\"#2b6cb0\" stroke-width=\"1.5\" points=\"%1\"/>\n")
               .arg(medianLine.trimmed());
    const double barWidth = std::clamp((kRight - kLeft) / double(points.size()) * 0.6, 2.0, 14.0);
    for (const Point &p : points) {
        const FigureTexts t = figureTexts(p.f);
        svg += QStringLiteral(
            "<g class=\"session\"><title>%1: медиана %2, p95 %3, потери %4, джиттер %5</title>")
                   .arg(p.start.toString(QStringLiteral("dd.MM.yyyy HH:mm")), t.median, t.p95, t.loss,
                       t.jitter);
        if (p.f.median >= 0) {
            svg += QStringLiteral("<circle class=\"p95\" cx=\"%1\" cy=\"%2\" r=\"3\" fill=\"#d69e2e\"/>")
                       .arg(px(x(p.at)), px(yMs(p.f.p95)));
            svg += QStringLiteral("<circle class=\"median\" cx=\"%1\" cy=\"%2\" r=\"3\" fill=\"#2b6cb0\"/>")
                       .arg(px(x(p.at)), px(yMs(p.f.median)));
        }
        const double height = std::min(p.f.lossPercent, lossTop) * lossScale;
        svg += QStringLiteral(
            "<rect class=\"loss\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#e53e3e\"/>")
                   .arg(px(x(p.at) - barWidth / 2), px(kLossBottom - height), px(barWidth), px(height));
        svg += QStringLiteral("</g>\n");
    }

    // Legend.
    svg += QStringLiteral(
        "<g fill=\"#2d3748\">"
        "<line x1=\"64\" y1=\"18\" x2=\"88\" y2=\"18\" stroke=\"#2b6cb0\" stroke-width=\"2\"/>"
        "<text x=\"94\" y=\"22\">медиана</text>"
        "<line x1=\"170\" y1=\"18\" x2=\"194\" y2=\"18\" stroke=\"#d69e2e\" stroke-width=\"2\"/>"
        "<text x=\"200\" y=\"22\">p95</text>"
        "<rect x=\"250\" y=\"12\" width=\"12\" height=\"12\" fill=\"#e53e3e\"/>"
        "<text x=\"268\" y=\"22\">потери</text></g>\n");
    svg += QStringLiteral("</svg>\n");
    return svg;
}

QByteArray sessionsCsv(const QList<GameSession *> &sessions)
{
    QString out = QStringLiteral("ID;Дата;Время начала;Длительность;Сервер;Порт;Тип сети;")
        + QStringLiteral("Количество пингов;Средний пинг;Мин. пинг;Макс. пинг;Стабильность;")
        + QStringLiteral("Потери %;Джиттер мс;Медиана мс;p95 мс\n");
    const QChar sep(QLatin1Char(';'));
    for (const GameSession *s : sessions) {
        const GameSession::Statistics st = s->statistics();
        out += QString::number(s->id()) + sep + s->startTime().toString(QStringLiteral("dd.MM.yyyy")) + sep
            + s->startTime().toString(QStringLiteral("HH:mm:ss")) + sep + s->durationString() + sep
            + csvField(s->server()) + sep + QString::number(s->port()) + sep + csvField(s->networkType())
            + sep + QString::number(st.count) + sep + QString::number(st.average) + sep
            + QString::number(st.minimum) + sep + QString::number(st.maximum) + sep
            + QString::number(st.stability) + sep + csvFigures(s->figures()) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray sessionsHtml(const QList<GameSession *> &sessions, const QDateTime &now)
{
    qint64 total = 0;
    for (const GameSession *s : sessions)
        total = RecordFile::addClamped(total, s->duration());

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
    out += QStringLiteral(".chart { max-width: 960px; margin: 10px 0 20px; }\n");
    out += QStringLiteral("</style>\n</head>\n<body>\n");
    out += QStringLiteral("<h1>🎣 Статистика игровых сессий Русская Рыбалка 4</h1>\n");
    out += QStringLiteral("<p>Всего сессий: ") + QString::number(sessions.size()) + QStringLiteral("</p>\n");
    out += QStringLiteral("<p>Общее время игры: ") + SessionManager::formatDuration(total)
        + QStringLiteral("</p>\n");
    out += QStringLiteral("<p>Отчет сгенерирован: ") + now.toString(kDateTimeFormat)
        + QStringLiteral("</p>\n");
    out += QStringLiteral("<h2>Пинг и потери по сессиям</h2>\n") + sessionsChart(sessions);
    out += QStringLiteral("<table>\n<thead>\n<tr>\n");
    out += QStringLiteral("<th>ID</th><th>Дата</th><th>Время</th><th>Длительность</th>\n");
    out += QStringLiteral("<th>Сервер</th><th>Порт</th><th>Тип сети</th><th>Пингов</th>\n");
    out += QStringLiteral("<th>Ср. пинг</th><th>Мин.</th><th>Макс.</th><th>Стабильность</th>\n");
    out += QStringLiteral("<th>Потери</th><th>Джиттер</th><th>Медиана</th><th>p95</th>\n");
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
        const std::optional<GameSession::Figures> figures = s->figures();
        const FigureTexts texts = figureTexts(figures);
        out += (figures ? QStringLiteral("<td class=\"") + lossClass(figures->lossPercent)
                           + QStringLiteral("\">")
                        : QStringLiteral("<td>"))
            + texts.loss + QStringLiteral("</td>\n");
        out += cell(texts.jitter) + cell(texts.median) + cell(texts.p95);
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
