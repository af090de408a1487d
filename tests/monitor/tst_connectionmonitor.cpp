#include "monitor/connectionmonitor.h"
#include "monitor/pingengine.h"
#include "monitor/pingquality.h"
#include "monitor/serverselection.h"
#include "support/blackhole.h"

#include <QtNetwork>
#include <QtTest>

namespace {

// A discovery source whose answers the test sets.
class ScriptedSource final : public DiscoverySource
{
public:
    std::vector<uint32_t> pids;
    GameServer server;

    std::vector<uint32_t> findGameProcesses() override { return pids; }
    GameServer findServer(const std::vector<uint32_t> &) override { return server; }
    void connectTo(const char *address, quint16 port)
    {
        pids = {42};
        server.found = true;
        server.address = QString::fromLatin1(address);
        server.port = port;
        server.pid = 42;
    }
    void lose() { server = GameServer(); }
};

using platform::TcpRow;
using Rows = QVector<TcpRow>;

TcpRow row(const char *remote, quint16 port, uint32_t pid = 100, uint32_t state = platform::TcpEstablished)
{
    TcpRow r;
    r.state = state;
    r.localAddr = QHostAddress(QStringLiteral("10.0.0.2")).toIPv4Address();
    r.localPort = 50000;
    r.remoteAddr = QHostAddress(QString::fromLatin1(remote)).toIPv4Address();
    r.remotePort = port;
    r.pid = pid;
    return r;
}

// The monitor on a scripted source, with everything it signals written down.
struct Fixture
{
    ScriptedSource *source = new ScriptedSource;
    ConnectionMonitor monitor {std::unique_ptr<DiscoverySource>(source)};
    QStringList events;

    Fixture()
    {
        const auto log = [this](const QString &event) { events << event; };
        QObject::connect(&monitor, &ConnectionMonitor::gameStateChanged,
            [log](bool running) { log(running ? QStringLiteral("game") : QStringLiteral("no game")); });
        QObject::connect(&monitor, &ConnectionMonitor::serverFound,
            [log](const QString &host, quint16 port, bool changed) {
                log(QStringLiteral("server %1:%2%3")
                        .arg(host)
                        .arg(port)
                        .arg(QLatin1String(changed ? "" : " again")));
            });
        QObject::connect(
            &monitor, &ConnectionMonitor::connectionFound, [log] { log(QStringLiteral("found")); });
        QObject::connect(
            &monitor, &ConnectionMonitor::connectionLost, [log] { log(QStringLiteral("lost")); });
        QObject::connect(
            &monitor, &ConnectionMonitor::connectionMissed, [log] { log(QStringLiteral("missed")); });
        QObject::connect(&monitor, &ConnectionMonitor::statusChanged,
            [log](const QString &text) { log(text.isEmpty() ? QStringLiteral("clear") : text); });
    }

    // One discovery run: what it signalled, then whether pings run.
    QString step()
    {
        events.clear();
        monitor.updateTarget();
        events << QLatin1String(monitor.isPingTimerActive() ? "pinging" : "idle");
        return events.join(QLatin1String(" | "));
    }
};

} // namespace

class TestConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void findsLosesAndFindsAgain()
    {
        Fixture f;
        QCOMPARE(f.step(), QStringLiteral("Ожидание запуска Русская Рыбалка 4... | idle"));
        f.source->connectTo("5.9.1.2", 9105);
        QCOMPARE(f.step(),
            QStringLiteral(
                "game | clear | server 5.9.1.2:9105 | Подключено: 5.9.1.2:9105 | found | pinging"));
        QCOMPARE(f.step(), QStringLiteral("clear | pinging")); // the same server: nothing new

        // Lost: ping stops, samples go, host and port stay; a second miss is only a miss.
        f.monitor.ping()->recordSample(25);
        f.source->lose();
        QCOMPARE(f.step(), QStringLiteral("clear | lost | missed | idle"));
        QCOMPARE(f.step(), QStringLiteral("clear | missed | idle"));
        QVERIFY(f.monitor.ping()->samples().isEmpty());
        QCOMPARE(f.monitor.currentPort(), quint16(9105));

        // The same server returns: found again, but not a changed server; then another port.
        f.source->connectTo("5.9.1.2", 9105);
        QCOMPARE(f.step(),
            QStringLiteral("clear | server 5.9.1.2:9105 again | Подключено: 5.9.1.2:9105 | found | pinging"));
        f.source->connectTo("5.9.1.2", 9106);
        QCOMPARE(
            f.step(), QStringLiteral("clear | server 5.9.1.2:9106 | Подключено: 5.9.1.2:9106 | pinging"));
        QCOMPARE(f.monitor.ping()->port(), quint16(9106));

        // The game ends: the last server stays on display and pings to it go on until it returns.
        f.source->pids.clear();
        f.source->lose();
        QCOMPARE(f.step(), QStringLiteral("no game | Ожидание запуска Русская Рыбалка 4... | pinging"));
        QVERIFY(f.monitor.isConnected());
    }

    void missCounterShowsNoticeEveryFourthMiss()
    {
        Fixture f;
        f.source->pids = {42};
        const QString miss = QStringLiteral("clear | missed | idle");
        const QString notice = QStringLiteral("clear | Игра запущена, соединение не найдено | missed | idle");
        QCOMPARE(f.step(), QStringLiteral("game | ") + miss);
        QStringList steps;
        for (int run = 2; run <= 9; ++run)
            steps << f.step();
        QCOMPARE(steps, (QStringList {miss, miss, notice, miss, miss, miss, notice, miss}));
        f.source->pids.clear(); // game gone: the counter starts again
        f.step();
        QCOMPARE(f.monitor.missCount(), 0);
    }

    // A live server answers; a refused connect and a silent server give 999, the silent one only
    // after the 500 ms cap (an early answer would be a refusal, not silence).
    void pingResults()
    {
        QTcpServer live;
        QVERIFY(live.listen(QHostAddress::LocalHost));
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        BlackHole hole;
        QVERIFY(hole.port() != 0);

        PingEngine engine;
        QSignalSpy measured(&engine, &PingEngine::pingMeasured);
        engine.setTarget(QStringLiteral("127.0.0.1"), live.serverPort());
        engine.startPingMeasurement();
        engine.startPingMeasurement(); // ignored while one is in flight
        QVERIFY(measured.wait(2000));
        QVERIFY(measured.last().at(0).toInt() < PingEngine::kNoAnswer);

        engine.setTarget(QStringLiteral("127.0.0.1"), closedPort);
        engine.startPingMeasurement();
        QVERIFY(measured.wait(2000));
        QCOMPARE(measured.last().at(0).toInt(), PingEngine::kNoAnswer);

        engine.setTarget(QStringLiteral("127.0.0.1"), hole.port());
        QElapsedTimer clock;
        clock.start();
        engine.startPingMeasurement();
        QVERIFY(measured.wait(3000));
        QCOMPARE(measured.last().at(0).toInt(), PingEngine::kNoAnswer);
        QVERIFY2(clock.elapsed() >= PingEngine::kTimeoutMs - 5, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(measured.count(), 3); // the doubled request really was dropped
    }

    // A cancelled measurement reports nothing: cancelled while connecting, replaced by a new target
    // before it even started, or cut by the loss of the connection (no stale 999 over the dashes).
    void cancelledMeasurementsReportNothing()
    {
        BlackHole hole;
        QTcpServer live;
        QVERIFY(live.listen(QHostAddress::LocalHost));
        Fixture f;
        f.source->connectTo("127.0.0.1", hole.port());
        f.step();
        f.monitor.stop(); // only the measurements started here
        PingEngine *engine = f.monitor.ping();
        QSignalSpy measured(engine, &PingEngine::pingMeasured);
        engine->startPingMeasurement();
        QTest::qWait(50);
        engine->cancel();
        engine->startPingMeasurement();
        engine->setTarget(QStringLiteral("127.0.0.1"), live.serverPort());
        engine->startPingMeasurement();
        QVERIFY(measured.wait(2000));
        QVERIFY(measured.first().at(0).toInt() < PingEngine::kNoAnswer);

        engine->setTarget(QStringLiteral("127.0.0.1"), hole.port());
        engine->startPingMeasurement();
        QTest::qWait(50);
        f.source->lose();
        f.step();
        QTest::qWait(PingEngine::kTimeoutMs + 100);
        QCOMPARE(measured.count(), 1);
        QVERIFY(engine->samples().isEmpty());
    }

    void select_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("address"); // empty: nothing found
        QTest::addColumn<int>("port");
        // The game runs as pids 100 and 101.
        // clang-format off
        QTest::newRow("game port wins over 443") << Rows {row("5.9.1.1", 443), row("5.9.1.2", 9000)} << "5.9.1.2" << 9000;
        QTest::newRow("other process ignored") << Rows {row("5.9.1.1", 9000, 200), row("5.9.1.3", 9001)} << "5.9.1.3" << 9001;
        QTest::newRow("not established ignored")
            << Rows {row("5.9.1.1", 9000, 100, platform::TcpSynSent), row("5.9.1.4", 9002)} << "5.9.1.4" << 9002;
        QTest::newRow("first qualifying row wins") << Rows {row("5.9.1.5", 27000), row("5.9.1.6", 9000)} << "5.9.1.5" << 27000;
        QTest::newRow("second game process") << Rows {row("5.9.1.7", 80), row("5.9.1.8", 7777, 101)} << "5.9.1.8" << 7777;
        // Only whole addresses are excluded, not their networks.
        QTest::newRow("169.254.0.1 qualifies") << Rows {row("169.254.0.1", 9000)} << "169.254.0.1" << 9000;
        QTest::newRow("127.0.0.2 qualifies") << Rows {row("127.0.0.2", 9105)} << "127.0.0.2" << 9105;
        QTest::newRow("192.168.0.1 qualifies") << Rows {row("192.168.0.1", 9100)} << "192.168.0.1" << 9100;
        // clang-format on
        for (const char *excluded : {"127.0.0.1", "1.0.0.127", "0.0.0.0", "169.254.0.0", "192.168.0.0"})
            QTest::addRow("excluded %s", excluded) << Rows {row(excluded, 9000)} << QString() << 0;
        for (const int port : {9, 7777, 7778, 27000, 27100, 9000, 10000})
            QTest::addRow("port %d", port) << Rows {row("5.9.1.9", quint16(port))} << "5.9.1.9" << port;
        for (const int port : {8, 10, 7776, 7779, 26999, 27101, 8999, 10001, 443, 65535})
            QTest::addRow("port %d", port) << Rows {row("5.9.1.9", quint16(port))} << QString() << 0;
    }

    void select()
    {
        QFETCH(Rows, rows);
        QFETCH(QString, address);
        QFETCH(int, port);
        const std::vector<TcpRow> table(rows.begin(), rows.end());
        const GameServer server = ServerSelection::select(table, {100, 101});
        QCOMPARE(server.found, !address.isEmpty());
        QCOMPARE(server.address, address);
        QCOMPARE(int(server.port), port);
        if (server.found)
            QVERIFY(server.pid == 100 || server.pid == 101);
        QVERIFY(!ServerSelection::select(table, {}).found);
    }

    // The quality bands and the connection bar's own bounds, at each edge.
    void quality()
    {
        const std::tuple<int, const char *, int> cases[]
            = {{0, "ОТЛИЧНО", 100}, {29, "ОТЛИЧНО", 100}, {30, "ХОРОШО", 100}, {31, "ХОРОШО", 85},
                {59, "ХОРОШО", 85}, {60, "НОРМА", 85}, {61, "НОРМА", 70}, {99, "НОРМА", 70},
                {100, "ПЛОХО", 70}, {101, "ПЛОХО", 50}, {199, "ПЛОХО", 50}, {200, "ОЧЕНЬ ПЛОХО", 50},
                {201, "ОЧЕНЬ ПЛОХО", 30}, {998, "ОЧЕНЬ ПЛОХО", 30}, {999, "ОЧЕНЬ ПЛОХО", 0}};
        for (const auto &[ping, word, bar] : cases) {
            QVERIFY2(PingQuality::text(ping) == QString::fromUtf8(word), word);
            QVERIFY2(PingQuality::barValue(ping) == bar, qPrintable(QString::number(ping)));
        }
    }
};

QTEST_GUILESS_MAIN(TestConnectionMonitor)
#include "tst_connectionmonitor.moc"
