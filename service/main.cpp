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
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr quint16 kDefaultPort = 8765;
constexpr int kDefaultOnlineSeconds = 60;

int usageError(const QString &message)
{
    std::fprintf(stderr, "kestrel-service: %s\n", qPrintable(message));
    return 2;
}

// A whole-number option with its default and smallest accepted value.
struct NumberOption
{
    QCommandLineOption option;
    int *value;
    int minimum;
};

NumberOption numberOption(const char *name, const QString &help, int *value, int minimum = 0)
{
    return {QCommandLineOption(QLatin1String(name), help + QStringLiteral(" (default %1).").arg(*value),
                QStringLiteral("N"), QString::number(*value)),
        value, minimum};
}

// Each connection holds a descriptor: take what the system allows, and keep the cap within it.
int fitConnectionsToDescriptors(int wanted)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    constexpr rlim_t reserve = 64; // database, log, listening socket, event queues
    if (limit.rlim_cur == RLIM_INFINITY || rlim_t(wanted) + reserve <= limit.rlim_cur)
        return wanted;
    const int fitted = int(std::max<rlim_t>(limit.rlim_cur, 2 * reserve) - reserve);
    qWarning().noquote() << "[SERVICE] only" << limit.rlim_cur << "descriptors allowed: at most" << fitted
                         << "connections";
    return fitted;
}

} // namespace

int main(int argc, char *argv[])
{
    // Termination arrives as a readable descriptor on the main thread, so the service
    // closes its connections and database cleanly; the worker threads never see it.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.6.3"));

    HttpLimits http;
    ServiceLimits limits;
    int onlineSeconds = kDefaultOnlineSeconds;
    const QList<NumberOption> numbers {
        numberOption("online-seconds",
            QStringLiteral("A user counts online while the last heartbeat is younger "
                           "than this many seconds"),
            &onlineSeconds, 1),
        numberOption(
            "max-body", QStringLiteral("Largest accepted request body in bytes"), &http.maxBodyBytes, 1024),
        numberOption("threads", QStringLiteral("Worker threads answering requests"), &http.threads, 1),
        numberOption("max-connections", QStringLiteral("Open connections in total"), &http.maxConnections, 1),
        numberOption("max-connections-per-address",
            QStringLiteral("Open connections per client address; 0 for no cap (behind a reverse proxy)"),
            &http.maxConnectionsPerAddress),
        numberOption("header-timeout", QStringLiteral("Seconds for a request header to arrive complete"),
            &http.headerTimeoutSeconds, 1),
        numberOption("body-timeout",
            QStringLiteral("Seconds for a request body to arrive, and again for the answer "
                           "to be sent"),
            &http.bodyTimeoutSeconds, 1),
        numberOption("publish-limit", QStringLiteral("Publications and withdrawals per minute per user name"),
            &limits.publishesPerName),
        numberOption("publish-limit-address",
            QStringLiteral("Publications and withdrawals per minute per address"),
            &limits.publishesPerAddress),
        numberOption(
            "comment-limit", QStringLiteral("Comments per minute per user name"), &limits.commentsPerName),
        numberOption("comment-limit-address", QStringLiteral("Comments per minute per address"),
            &limits.commentsPerAddress),
        numberOption("heartbeat-limit", QStringLiteral("Heartbeats per minute per user id"),
            &limits.heartbeatsPerUser),
        numberOption("heartbeat-limit-address", QStringLiteral("Heartbeats per minute per address"),
            &limits.heartbeatsPerAddress),
        numberOption(
            "max-entries-per-name", QStringLiteral("Published ports per user name"), &limits.entriesPerName),
        numberOption("max-comments-per-entry", QStringLiteral("Comments per published port"),
            &limits.commentsPerEntry),
        numberOption("max-listed", QStringLiteral("Entries that get_ports.php lists at most, the newest"),
            &limits.listedEntries),
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Presence and shared ports service for KESTREL: heartbeat.php, online_count.php, "
        "publish_port.php, get_ports.php, get_comments.php, unpublish_port.php, add_comment.php. "
        "Rate limits and caps take 0 for none."));
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
    const QCommandLineOption staticOption(QStringLiteral("static-dir"),
        QStringLiteral("Also serve the files of this folder by GET."), QStringLiteral("DIR"));
    const QCommandLineOption proxyOption(QStringLiteral("trusted-proxy"),
        QStringLiteral(
            "Address of a reverse proxy whose X-Forwarded-For header names the client (repeatable)."),
        QStringLiteral("ADDR"));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet"), QStringLiteral("Do not write a log line per request."));
    parser.addOptions(
        {portOption, listenOption, databaseOption, driverOption, staticOption, proxyOption, quietOption});
    for (const NumberOption &option : numbers)
        parser.addOption(option.option);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return usageError(QStringLiteral("--port must be a number from 0 to 65535"));
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull())
        return usageError(QStringLiteral("--listen must be an IP address"));
    for (const NumberOption &option : numbers) {
        *option.value = parser.value(option.option).toInt(&ok);
        if (!ok || *option.value < option.minimum)
            return usageError(QStringLiteral("--%1 must be a number of at least %2")
                                  .arg(option.option.names().constFirst())
                                  .arg(option.minimum));
    }
    QList<QHostAddress> proxies;
    for (const QString &text : parser.values(proxyOption)) {
        proxies.append(QHostAddress(text));
        if (proxies.constLast().isNull())
            return usageError(QStringLiteral("--trusted-proxy must be an IP address"));
    }
    const QString staticDir = parser.value(staticOption);
    if (!staticDir.isEmpty() && !QDir(staticDir).exists())
        return usageError(QStringLiteral("--static-dir %1 does not exist").arg(staticDir));
    http.maxConnections = fitConnectionsToDescriptors(http.maxConnections);

    ServiceStore store(parser.value(driverOption), parser.value(databaseOption));
    if (!store.openDatabase())
        return usageError(QStringLiteral("cannot open the database: %1").arg(store.lastError()));

    ServiceApi api(store, qint64(onlineSeconds) * 1000, staticDir, limits);
    // Presence rows are only needed for the online window; drop the old ones hourly.
    QTimer purge;
    purge.setInterval(3600 * 1000);
    QObject::connect(&purge, &QTimer::timeout, [&store, onlineSeconds] {
        const qint64 keepMs = std::max<qint64>(qint64(onlineSeconds) * 1000, 24 * 3600 * 1000);
        store.purgePresence(QDateTime::currentMSecsSinceEpoch() - keepMs);
    });
    purge.start();
    QTimer sweep;
    sweep.setInterval(60 * 1000);
    QObject::connect(&sweep, &QTimer::timeout, [&api] { api.sweep(); });
    sweep.start();

    const int signalFd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    QSocketNotifier stop(signalFd, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [signalFd] {
        signalfd_siginfo info;
        while (read(signalFd, &info, sizeof info) > 0) { }
        QCoreApplication::quit();
    });

    HttpServer server([&api](const HttpRequest &request) { return api.handle(request); });
    server.setLimits(http);
    server.setLogging(!parser.isSet(quietOption));
    server.setTrustedProxies(proxies);
    server.setErrorBody([](int, const QString &message) { return ServiceApi::errorJson(message); });
    if (!server.listen(address, static_cast<quint16>(port)))
        return usageError(QStringLiteral("cannot listen on %1:%2: %3")
                              .arg(address.toString())
                              .arg(port)
                              .arg(server.errorString()));
    // Tests and scripts read the bound port from this line.
    std::printf("kestrel-service listening on %s:%u\n", qPrintable(address.toString()), server.serverPort());
    std::fflush(stdout);
    const int status = app.exec();
    server.close();
    return status;
}
