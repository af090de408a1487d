// kestrel-service: reference presence and shared ports service.

#include "httpserver.h"
#include "serviceapi.h"
#include "servicestore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QHostAddress>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr quint16 kDefaultPort = 8765;
constexpr int kDefaultOnlineSeconds = 60;

int usageError(const QString &message)
{
    std::fprintf(stderr, "kestrel-service: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.6.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Presence and shared ports service for KESTREL: heartbeat.php, online_count.php, "
        "publish_port.php, get_ports.php, get_comments.php, unpublish_port.php, add_comment.php."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("TCP port to listen on (default %1; 0 picks a free one)").arg(kDefaultPort),
        QStringLiteral("N"), QString::number(kDefaultPort));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("ADDR"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption databaseOption(QStringLiteral("database"),
        QStringLiteral("SQLite file path (default kestrel-service.sqlite), or for other drivers a database "
                       "name or \"host=... port=... dbname=... user=... password=...\"."),
        QStringLiteral("PATH"), QStringLiteral("kestrel-service.sqlite"));
    const QCommandLineOption driverOption(QStringLiteral("driver"),
        QStringLiteral("Qt SQL driver (default QSQLITE; e.g. QPSQL)."), QStringLiteral("NAME"),
        QStringLiteral("QSQLITE"));
    const QCommandLineOption onlineOption(QStringLiteral("online-seconds"),
        QStringLiteral("A user counts online while the last heartbeat is younger than this (default %1).")
            .arg(kDefaultOnlineSeconds),
        QStringLiteral("S"), QString::number(kDefaultOnlineSeconds));
    const QCommandLineOption maxBodyOption(QStringLiteral("max-body"),
        QStringLiteral("Largest accepted request body in bytes (default %1).")
            .arg(HttpServer::kDefaultMaxBodyBytes),
        QStringLiteral("BYTES"), QString::number(HttpServer::kDefaultMaxBodyBytes));
    const QCommandLineOption staticOption(QStringLiteral("static-dir"),
        QStringLiteral("Also serve the files of this folder by GET."), QStringLiteral("DIR"));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet"), QStringLiteral("Do not write a log line per request."));
    parser.addOptions({portOption, listenOption, databaseOption, driverOption, onlineOption, maxBodyOption,
        staticOption, quietOption});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return usageError(QStringLiteral("--port must be a number from 0 to 65535"));
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull())
        return usageError(QStringLiteral("--listen must be an IP address"));
    const int onlineSeconds = parser.value(onlineOption).toInt(&ok);
    if (!ok || onlineSeconds < 1)
        return usageError(QStringLiteral("--online-seconds must be a positive number"));
    const int maxBody = parser.value(maxBodyOption).toInt(&ok);
    if (!ok || maxBody < 1024)
        return usageError(QStringLiteral("--max-body must be a number of at least 1024"));
    const QString staticDir = parser.value(staticOption);
    if (!staticDir.isEmpty() && !QDir(staticDir).exists())
        return usageError(QStringLiteral("--static-dir %1 does not exist").arg(staticDir));

    ServiceStore store(parser.value(driverOption), parser.value(databaseOption));
    if (!store.open())
        return usageError(QStringLiteral("cannot open the database: %1").arg(store.lastError()));

    // Presence rows are only needed for the online window; drop the old ones hourly.
    QTimer purge;
    purge.setInterval(3600 * 1000);
    QObject::connect(&purge, &QTimer::timeout, [&store, onlineSeconds] {
        const qint64 keepMs = std::max<qint64>(qint64(onlineSeconds) * 1000, 24 * 3600 * 1000);
        store.purgePresence(QDateTime::currentMSecsSinceEpoch() - keepMs);
    });
    purge.start();

    ServiceApi api(store, qint64(onlineSeconds) * 1000, staticDir);
    HttpServer server([&api](const HttpRequest &request) { return api.handle(request); });
    server.setMaxBodyBytes(maxBody);
    server.setLogging(!parser.isSet(quietOption));
    server.setErrorBody([](int, const QString &message) { return ServiceApi::errorJson(message); });
    if (!server.listen(address, static_cast<quint16>(port)))
        return usageError(QStringLiteral("cannot listen on %1:%2: %3")
                              .arg(address.toString())
                              .arg(port)
                              .arg(server.errorString()));
    // Tests and scripts read the bound port from this line.
    std::printf("kestrel-service listening on %s:%u\n", qPrintable(address.toString()), server.serverPort());
    std::fflush(stdout);
    return app.exec();
}
