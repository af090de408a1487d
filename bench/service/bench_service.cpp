// Throughput and tail latency of kestrel-service: get_ports.php with 1000 published
// ports and heartbeat.php, driven by wrk on loopback, against a small static file
// served by the same server in the same run.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct Figures
{
    double requestsPerSecond = 0;
    double p99Ms = 0;
    QString non2xx;
};

double toMs(const QString &value, const QString &unit)
{
    const double number = value.toDouble();
    if (unit == QLatin1String("us"))
        return number / 1000.0;
    if (unit == QLatin1String("s"))
        return number * 1000.0;
    return number;
}

Figures runWrk(const QString &url, const QString &script, int seconds)
{
    QStringList arguments {QStringLiteral("-t1"), QStringLiteral("-c16"),
        QStringLiteral("-d%1s").arg(seconds), QStringLiteral("--latency")};
    if (!script.isEmpty())
        arguments << QStringLiteral("-s") << script;
    arguments << url;
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"), arguments);
    wrk.waitForFinished(seconds * 1000 + 30000);
    const QString out = QString::fromUtf8(wrk.readAllStandardOutput());
    Figures figures;
    const auto rps = QRegularExpression(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).match(out);
    const auto p99 = QRegularExpression(QStringLiteral("\\n\\s+99%\\s+([0-9.]+)(us|ms|s)")).match(out);
    const auto errors
        = QRegularExpression(QStringLiteral("Non-2xx or 3xx responses:\\s+([0-9]+)")).match(out);
    if (rps.hasMatch())
        figures.requestsPerSecond = rps.captured(1).toDouble();
    if (p99.hasMatch())
        figures.p99Ms = toMs(p99.captured(1), p99.captured(2));
    if (errors.hasMatch())
        figures.non2xx = errors.captured(1);
    if (!rps.hasMatch())
        std::fprintf(stderr, "wrk output not understood:\n%s\n%s\n", qPrintable(out),
            wrk.readAllStandardError().constData());
    return figures;
}

bool post(QNetworkAccessManager &manager, const QUrl &url, const QJsonObject &body)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.post(request, QJsonDocument(body).toJson());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const bool ok = reply->error() == QNetworkReply::NoError
        && QJsonDocument::fromJson(reply->readAll()).object().value(QLatin1String("success")).toBool();
    reply->deleteLater();
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds
        = qEnvironmentVariableIsSet("BENCH_SECONDS") ? qEnvironmentVariableIntValue("BENCH_SECONDS") : 5;
    if (QStandardPaths::findExecutable(QStringLiteral("wrk")).isEmpty()) {
        std::fprintf(stderr, "wrk is not installed (scripts/setup.sh installs it)\n");
        return 1;
    }
    const QString service
        = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kestrel-service"));
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("static"));
    {
        QFile file(dir.filePath(QStringLiteral("static/ping.json")));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(R"({"success":true,"online":0})");
    }
    const QString script = dir.filePath(QStringLiteral("heartbeat.lua"));
    {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("wrk.method = \"POST\"\n"
                   "wrk.headers[\"Content-Type\"] = \"application/json\"\n"
                   "wrk.body = '{\\n    \"app_version\": \"1.6.3\",\\n    \"user_id\": \""
            + QByteArray(64, 'a') + "\"\\n}\\n'\n");
    }

    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(service,
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--database"),
            dir.filePath(QStringLiteral("bench.sqlite")), QStringLiteral("--static-dir"),
            dir.filePath(QStringLiteral("static"))});
    if (!server.waitForStarted(10000) || !server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(service));
        return 1;
    }
    const auto match = QRegularExpression(QStringLiteral("listening on [0-9.]+:([0-9]+)"))
                           .match(QString::fromUtf8(server.readAll()));
    if (!match.hasMatch())
        return 1;
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(match.captured(1));

    QNetworkAccessManager manager;
    for (int i = 0; i < 1000; ++i) {
        const QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("bench%1").arg(i)},
            {QStringLiteral("port"), 9000 + i % 1000},
            {QStringLiteral("description"), QStringLiteral("Озеро Старый Острог, точка %1").arg(i)},
            {QStringLiteral("status"), i % 3},
            {QStringLiteral("comment"), QStringLiteral("клюёт на опарыша с утра")}};
        if (!post(manager, QUrl(base + QStringLiteral("publish_port.php")), body)) {
            std::fprintf(stderr, "publishing failed at %d\n", i);
            return 1;
        }
    }

    // The listing is rebuilt after every change; time that path on its own.
    QList<double> rebuildMs;
    for (int i = 0; i < 21; ++i) {
        const QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("bench0")},
            {QStringLiteral("port"), 9000},
            {QStringLiteral("description"), QStringLiteral("Обновлено %1").arg(i)},
            {QStringLiteral("status"), 1}, {QStringLiteral("comment"), QString()}};
        post(manager, QUrl(base + QStringLiteral("publish_port.php")), body);
        QElapsedTimer timer;
        timer.start();
        QNetworkReply *reply
            = manager.get(QNetworkRequest(QUrl(base + QStringLiteral("get_ports.php?user_name="))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        rebuildMs << timer.nsecsElapsed() / 1e6;
        reply->deleteLater();
    }
    std::sort(rebuildMs.begin(), rebuildMs.end());

    std::printf(
        "kestrel-service on loopback, wrk -t1 -c16, %d s per endpoint, 1000 published ports\n", seconds);
    const Figures reference = runWrk(base + QStringLiteral("ping.json"), QString(), seconds);
    const Figures ports = runWrk(base + QStringLiteral("get_ports.php?user_name=bench1"), QString(), seconds);
    const Figures heartbeat = runWrk(base + QStringLiteral("heartbeat.php"), script, seconds);
    server.terminate();
    server.waitForFinished(5000);

    const auto line = [&reference](const char *name, const Figures &f) {
        std::printf("%-28s %10.0f req/s   p99 %8.2f ms   throughput ratio to static %6.3f%s%s\n", name,
            f.requestsPerSecond, f.p99Ms,
            reference.requestsPerSecond > 0 ? f.requestsPerSecond / reference.requestsPerSecond : 0.0,
            f.non2xx.isEmpty() ? "" : "   non-2xx: ", qPrintable(f.non2xx));
    };
    line("static file (reference)", reference);
    line("get_ports.php (1000 ports)", ports);
    line("heartbeat.php", heartbeat);
    std::printf("get_ports.php right after a change (listing rebuilt): median %.2f ms per request\n",
        rebuildMs.at(rebuildMs.size() / 2));
    return reference.requestsPerSecond > 0 && ports.requestsPerSecond > 0 && heartbeat.requestsPerSecond > 0
        ? 0
        : 1;
}
