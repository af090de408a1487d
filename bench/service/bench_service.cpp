// Throughput and tail latency of kestrel-service: get_ports.php with 1000 published
// ports and heartbeat.php, driven by wrk on loopback, against a small static file
// served by the same server in the same run; get_ports.php again while 2000 slow
// clients trickle header lines (reconnecting whenever they are cut off); and the same
// runs on PostgreSQL next to SQLite.

#include "tools/postgresserver.h"

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
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Slow clients: each holds a connection from its own loopback address (20 per address,
// under the per-address cap), sends a request line and then one header line every
// 2 s, never finishing the header; a connection the service cuts is opened again.
class Tricklers
{
public:
    Tricklers(quint16 port, int count) : m_port(port), m_sockets(size_t(count), -1), m_next(size_t(count), 0)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Tricklers()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_sockets) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    int open() const { return m_open; }
    int reconnects() const { return m_reconnects; }

private:
    static qint64 nowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    int connectFrom(size_t index)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl((127u << 24) | (2u << 16) | quint32(1 + index / 20));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(m_port);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        const char line[] = "GET /get_ports.php HTTP/1.1\r\nHost: x\r\n";
        ::send(fd, line, sizeof line - 1, MSG_NOSIGNAL);
        return fd;
    }

    void run()
    {
        while (!m_stop) {
            const qint64 now = nowMs();
            int open = 0;
            for (size_t i = 0; i < m_sockets.size() && !m_stop; ++i) {
                int &fd = m_sockets[i];
                char buffer[512];
                if (fd >= 0 && (::recv(fd, buffer, sizeof buffer, 0) == 0 || now >= m_next[i])) {
                    if (now >= m_next[i] && ::send(fd, "X-Slow: yes\r\n", 13, MSG_NOSIGNAL) == 13) {
                        m_next[i] = now + 2000;
                    } else {
                        ::close(fd);
                        fd = -1;
                        ++m_reconnects;
                    }
                }
                if (fd < 0) {
                    fd = connectFrom(i);
                    m_next[i] = now + 2000 + qint64(i % 2000);
                }
                open += fd >= 0;
            }
            m_open = open;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    quint16 m_port;
    std::vector<int> m_sockets;
    std::vector<qint64> m_next;
    std::atomic<bool> m_stop {false};
    std::atomic<int> m_open {0};
    std::atomic<int> m_reconnects {0};
    std::thread m_thread;
};

struct Service
{
    QProcess process;
    QString base;
    quint16 port = 0;

    bool start(const QString &binary, const QStringList &arguments)
    {
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(binary, arguments);
        if (!process.waitForStarted(10000) || !process.waitForReadyRead(20000))
            return false;
        const auto match = QRegularExpression(QStringLiteral("listening on [0-9.]+:([0-9]+)"))
                               .match(QString::fromUtf8(process.readAll()));
        port = match.captured(1).toUShort();
        base = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        return port != 0;
    }
    ~Service()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

void line(const char *database, const char *name, const Figures &f, const QString &ratio)
{
    std::printf("%-11s %-36s %9.0f req/s  p99 %8.2f ms  %s%s%s\n", database, name, f.requestsPerSecond,
        f.p99Ms, qPrintable(ratio), f.non2xx.isEmpty() ? "" : "  non-2xx: ", qPrintable(f.non2xx));
}

// One database: publishes 1000 ports, then measures. False when something failed.
bool measure(const char *database, const QString &binary, const QStringList &databaseArguments,
    const QString &dir, const QString &heartbeatScript, int seconds, bool withTricklers)
{
    Service server;
    const QStringList arguments
        = QStringList {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--static-dir"),
              dir + QStringLiteral("/static"), QStringLiteral("--quiet"), QStringLiteral("--max-listed"),
              QStringLiteral("1000")}
        + databaseArguments;
    QStringList unlimited;
    for (const char *limit :
        {"publish-limit", "publish-limit-address", "heartbeat-limit", "heartbeat-limit-address"})
        unlimited << QLatin1String("--") + QLatin1String(limit) << QStringLiteral("0");
    if (!server.start(binary, arguments + unlimited)) {
        std::fprintf(stderr, "cannot start %s on %s\n", qPrintable(binary), database);
        return false;
    }
    QNetworkAccessManager manager;
    for (int i = 0; i < 1000; ++i) {
        const QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("bench%1").arg(i)},
            {QStringLiteral("port"), 9000 + i % 1000},
            {QStringLiteral("description"), QStringLiteral("Озеро Старый Острог, точка %1").arg(i)},
            {QStringLiteral("status"), i % 3},
            {QStringLiteral("comment"), QStringLiteral("клюёт на опарыша с утра")}};
        if (!post(manager, QUrl(server.base + QStringLiteral("publish_port.php")), body)) {
            std::fprintf(stderr, "publishing failed at %d on %s\n", i, database);
            return false;
        }
    }
    // The listing is rebuilt after every change; time that path on its own.
    QList<double> rebuildMs;
    for (int i = 0; i < 21; ++i) {
        const QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("bench0")},
            {QStringLiteral("port"), 9000},
            {QStringLiteral("description"), QStringLiteral("Обновлено %1").arg(i)},
            {QStringLiteral("status"), 1}, {QStringLiteral("comment"), QString()}};
        post(manager, QUrl(server.base + QStringLiteral("publish_port.php")), body);
        QElapsedTimer timer;
        timer.start();
        QNetworkReply *reply
            = manager.get(QNetworkRequest(QUrl(server.base + QStringLiteral("get_ports.php?user_name="))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        rebuildMs << timer.nsecsElapsed() / 1e6;
        reply->deleteLater();
    }
    std::sort(rebuildMs.begin(), rebuildMs.end());

    const QString ports = server.base + QStringLiteral("get_ports.php?user_name=bench1");
    const Figures reference = runWrk(server.base + QStringLiteral("ping.json"), QString(), seconds);
    const Figures quiet = runWrk(ports, QString(), seconds);
    const Figures heartbeat = runWrk(server.base + QStringLiteral("heartbeat.php"), heartbeatScript, seconds);
    const auto toStatic = [&reference](const Figures &f) {
        return QStringLiteral("throughput ratio to static %1")
            .arg(reference.requestsPerSecond > 0 ? f.requestsPerSecond / reference.requestsPerSecond : 0.0, 0,
                'f', 3);
    };
    line(database, "static file (reference)", reference, QString());
    line(database, "get_ports.php (1000 ports)", quiet, toStatic(quiet));
    line(database, "heartbeat.php (a new user each)", heartbeat, toStatic(heartbeat));
    std::printf("%-11s get_ports.php right after a change (listing rebuilt): median %.2f ms per request\n",
        database, rebuildMs.at(rebuildMs.size() / 2));
    bool ok
        = reference.requestsPerSecond > 0 && quiet.requestsPerSecond > 0 && heartbeat.requestsPerSecond > 0;
    if (withTricklers) {
        Tricklers tricklers(server.port, 2000);
        QElapsedTimer settling;
        settling.start();
        while (tricklers.open() < 2000 && settling.elapsed() < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int openAtStart = tricklers.open();
        const int reconnectsBefore = tricklers.reconnects();
        // Long enough for the service to cut every slow client at least once.
        const Figures crowded = runWrk(ports, QString(), std::max(seconds, 12));
        const double ratio = quiet.p99Ms > 0 ? crowded.p99Ms / quiet.p99Ms : 0;
        line(database, "get_ports.php, 2000 slow clients", crowded,
            QStringLiteral("p99 ratio to no slow clients %1 (limit 2.0)").arg(ratio, 0, 'f', 2));
        std::printf(
            "%-11s slow clients open: %d at start, %d at end; cut off and reconnected during the run: %d\n",
            database, openAtStart, tricklers.open(), tricklers.reconnects() - reconnectsBefore);
        ok = ok && crowded.requestsPerSecond > 0 && openAtStart >= 1900;
    }
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
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

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
        // Every request from another player, as a crowd of clients would send them.
        file.write("wrk.method = \"POST\"\n"
                   "wrk.headers[\"Content-Type\"] = \"application/json\"\n"
                   "counter = 0\n"
                   "request = function()\n"
                   "  counter = counter + 1\n"
                   "  return wrk.format(nil, nil, nil, string.format("
                   "'{\"app_version\":\"1.6.3\",\"user_id\":\"%064x\"}', counter))\n"
                   "end\n");
    }

    std::printf("kestrel-service on loopback, wrk -t1 -c16, %d s per run, 1000 published ports\n", seconds);
    bool ok = measure("SQLite", service,
        {QStringLiteral("--database"), dir.filePath(QStringLiteral("bench.sqlite"))}, dir.path(), script,
        seconds, true);
    PostgresServer postgres;
    if (!postgres.start() || !postgres.createDatabase(QStringLiteral("bench"))) {
        std::fprintf(stderr, "PostgreSQL: %s\n", postgres.error().constData());
        return 1;
    }
    ok = measure("PostgreSQL", service,
             {QStringLiteral("--driver"), QStringLiteral("QPSQL"), QStringLiteral("--database"),
                 postgres.connection(QStringLiteral("bench"))},
             dir.path(), script, seconds, false)
        && ok;
    return ok ? 0 : 1;
}
