// What the ping shown to the player adds to the network's own connect time, and what a
// server that never answers costs the window.
//
// Usage: bench_ping_overhead [--samples N] [--blackhole N]
//   1. Against the fake game server on 127.0.0.1, N rounds (default 200), each timing one
//      PingEngine measurement (the reported value) and one blocking connect() + close() of a
//      raw socket (the reference), alternating which goes first. Printed: the median of each,
//      the median of the per-round difference (goal < 1 ms), and the median time from
//      startPingMeasurement() to pingMeasured() as this program sees it.
//   2. Against a black hole (a port whose accept queue is full, so connects hang), N
//      measurements (default 10) while a 1 ms timer on the same thread notes the longest gap
//      between its ticks: the worst stall of the GUI thread (goal < 20 ms). References, in the
//      same run: the worst gap of the timer alone over as long a time (the machine's own
//      scheduling noise), and the gap that one blocking waitForConnected(500) causes.
//   Exit code 1 when the set-up fails or a measurement does not give the expected kind of result.

#include "monitor/pingengine.h"
#include "support/blackhole.h"
#include "tools/toolprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    int samples = 200;
    int blackholeRuns = 10;
};

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_ping_overhead: %s\n", what);
    std::exit(1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// One blocking connect() to 127.0.0.1:port, in milliseconds; negative on failure.
double rawConnectMs(quint16 port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    const int result = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    ::close(fd);
    return result == 0 ? elapsed : -1;
}

struct EngineResult
{
    int reported = -1; // what pingMeasured() carried
    double observedMs = 0; // from startPingMeasurement() to the signal, as the caller sees it
};

EngineResult engineMeasurement(PingEngine &engine)
{
    EngineResult result;
    QEventLoop loop;
    const QMetaObject::Connection connection
        = QObject::connect(&engine, &PingEngine::pingMeasured, &loop, [&](int ping) {
              result.reported = ping;
              loop.quit();
          });
    QElapsedTimer clock;
    clock.start();
    engine.startPingMeasurement();
    if (result.reported < 0)
        loop.exec();
    result.observedMs = double(clock.nsecsElapsed()) / 1e6;
    QObject::disconnect(connection);
    return result;
}

// Ticks every millisecond and keeps the longest gap between two ticks.
class StallWatch
{
public:
    StallWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return double(m_worst) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        bool ok = false;
        if (args.at(i) == QLatin1String("--samples") && i + 1 < args.size())
            options.samples = args.at(++i).toInt(&ok);
        else if (args.at(i) == QLatin1String("--blackhole") && i + 1 < args.size())
            options.blackholeRuns = args.at(++i).toInt(&ok);
        if (!ok || options.samples < 1 || options.blackholeRuns < 1) {
            std::fprintf(stderr, "usage: bench_ping_overhead [--samples N] [--blackhole N]\n");
            std::exit(2);
        }
    }
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(QCoreApplication::arguments());
    if (qEnvironmentVariableIsEmpty("KESTREL_BIN_DIR"))
        qputenv("KESTREL_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    // 1. Reported ping against the raw connect time, same server, interleaved.
    ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.1:0")});
    if (server.waitForLine("READY").isEmpty())
        fail("fake_game_server did not start");
    const quint16 port = server.lineStartingWith("LISTENING").split(':').last().toUShort();

    PingEngine engine;
    engine.setTarget(QStringLiteral("127.0.0.1"), port);
    engineMeasurement(engine); // the first socket pays for one-time set-up
    std::vector<double> raw;
    std::vector<double> reported;
    std::vector<double> observed;
    std::vector<double> difference;
    for (int i = 0; i < options.samples; ++i) {
        double rawMs = -1;
        if (i % 2 == 0)
            rawMs = rawConnectMs(port);
        const EngineResult result = engineMeasurement(engine);
        if (i % 2 == 1)
            rawMs = rawConnectMs(port);
        if (rawMs < 0 || result.reported < 0 || result.reported == PingEngine::kNoAnswer)
            fail("a connect to the local server failed");
        raw.push_back(rawMs);
        reported.push_back(result.reported);
        observed.push_back(result.observedMs);
        difference.push_back(result.reported - rawMs);
    }
    const double medianDifference = median(difference);
    std::printf("local server 127.0.0.1:%u, %d interleaved rounds\n", port, options.samples);
    std::printf("  raw connect()          median %8.3f ms  p95 %8.3f ms   (reference)\n", median(raw),
        percentile(raw, 0.95));
    std::printf("  PingEngine reported    median %8.3f ms  p95 %8.3f ms   (whole ms, as shown)\n",
        median(reported), percentile(reported, 0.95));
    std::printf("  PingEngine start->signal median %6.3f ms  p95 %8.3f ms   (%.1fx raw)\n", median(observed),
        percentile(observed, 0.95), median(raw) > 0 ? median(observed) / median(raw) : 0.0);
    std::printf("  median(reported - raw) %+8.3f ms  goal |diff| < 1 ms: %s\n", medianDifference,
        std::abs(medianDifference) < 1.0 ? "met" : "MISSED");
    std::fflush(stdout);

    // 2. A server that never answers: how long is the thread kept from its other work?
    BlackHole hole;
    if (hole.port() == 0)
        fail("no black hole port");
    StallWatch watch;
    watch.start();
    spin(options.blackholeRuns * PingEngine::kTimeoutMs); // as long as the measurements below
    const double idleStall = watch.stop();

    engine.setTarget(QStringLiteral("127.0.0.1"), hole.port());
    watch.start();
    spin(5);
    for (int i = 0; i < options.blackholeRuns; ++i) {
        const EngineResult result = engineMeasurement(engine);
        if (result.reported != PingEngine::kNoAnswer)
            fail("the black hole answered");
    }
    spin(5);
    const double engineStall = watch.stop();

    watch.start();
    spin(5);
    QTcpSocket blocking;
    blocking.connectToHost(QStringLiteral("127.0.0.1"), hole.port());
    if (blocking.waitForConnected(PingEngine::kTimeoutMs))
        fail("the black hole answered the blocking connect");
    blocking.abort();
    spin(5);
    const double blockingStall = watch.stop();

    std::printf("black hole 127.0.0.1:%u, %d measurements (each %d = no answer in %d ms)\n", hole.port(),
        options.blackholeRuns, PingEngine::kNoAnswer, PingEngine::kTimeoutMs);
    std::printf("  worst gap of a 1 ms timer, timer alone      %8.3f ms\n", idleStall);
    std::printf("  worst gap of a 1 ms timer, PingEngine       %8.3f ms  goal < 20 ms: %s\n", engineStall,
        engineStall < 20.0 ? "met" : "MISSED");
    std::printf(
        "  worst gap, blocking waitForConnected(%d)  %8.3f ms   (reference; PingEngine %.3fx of it)\n",
        PingEngine::kTimeoutMs, blockingStall, blockingStall > 0 ? engineStall / blockingStall : 0.0);
    return 0;
}
