#include "monitor/connectionmonitor.h"
#include "monitor/pingengine.h"
#include "support/blackhole.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

// A discovery source whose answers the test sets.
class ScriptedSource final : public DiscoverySource
{
public:
    std::vector<uint32_t> pids;
    GameServer server;
    int serverCalls = 0;

    std::vector<uint32_t> findGameProcesses() override { return pids; }
    GameServer findServer(const std::vector<uint32_t> &) override
    {
        ++serverCalls;
        return server;
    }
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

struct Fixture
{
    ScriptedSource *source = new ScriptedSource;
    ConnectionMonitor monitor {std::unique_ptr<DiscoverySource>(source)};
    QSignalSpy game {&monitor, &ConnectionMonitor::gameStateChanged};
    QSignalSpy status {&monitor, &ConnectionMonitor::statusChanged};
    QSignalSpy missed {&monitor, &ConnectionMonitor::connectionMissed};
    QSignalSpy lost {&monitor, &ConnectionMonitor::connectionLost};
    QSignalSpy serverFound {&monitor, &ConnectionMonitor::serverFound};
    QSignalSpy found {&monitor, &ConnectionMonitor::connectionFound};

    QString lastStatus() const { return status.isEmpty() ? QString() : status.last().at(0).toString(); }
};

const QString kWaiting = QStringLiteral("Ожидание запуска Русская Рыбалка 4...");

} // namespace

class TestConnectionMonitor : public QObject
{
    Q_OBJECT

private slots:
    void findsLosesAndFindsAgain()
    {
        Fixture f;
        f.monitor.updateTarget();
        QCOMPARE(f.game.count(), 0); // not running before, not running now
        QCOMPARE(f.lastStatus(), kWaiting);
        QCOMPARE(f.source->serverCalls, 0);

        f.source->connectTo("5.9.1.2", 9105);
        f.monitor.updateTarget();
        QCOMPARE(f.game.last().at(0).toBool(), true);
        QCOMPARE(f.serverFound.last().at(2).toBool(), true);
        QCOMPARE(f.found.count(), 1);
        QCOMPARE(f.monitor.currentHost(), QStringLiteral("5.9.1.2"));
        QVERIFY(f.monitor.isPingTimerActive());
        QCOMPARE(f.lastStatus(), QStringLiteral("Подключено: 5.9.1.2:9105"));

        // Same server next run: nothing new, and the status line is cleared.
        f.monitor.updateTarget();
        QCOMPARE(f.serverFound.count(), 1);
        QCOMPARE(f.found.count(), 1);
        QCOMPARE(f.lastStatus(), QString());

        // Lost: ping stops, samples go, host and port stay; a second miss is only a miss.
        f.monitor.ping()->recordSample(25);
        f.source->lose();
        f.monitor.updateTarget();
        f.monitor.updateTarget();
        QCOMPARE(f.lost.count(), 1);
        QCOMPARE(f.missed.count(), 2);
        QVERIFY(!f.monitor.isConnected());
        QVERIFY(!f.monitor.isPingTimerActive());
        QVERIFY(f.monitor.ping()->samples().isEmpty());
        QCOMPARE(f.monitor.currentPort(), quint16(9105));

        // The same server returns: found again, but not a changed server.
        f.source->connectTo("5.9.1.2", 9105);
        f.monitor.updateTarget();
        QCOMPARE(f.serverFound.last().at(2).toBool(), false);
        QCOMPARE(f.found.count(), 2);
        QVERIFY(f.monitor.isPingTimerActive());

        // Another port while connected: a changed server, but no second "found".
        f.source->connectTo("5.9.1.2", 9106);
        f.monitor.updateTarget();
        QCOMPARE(f.serverFound.last().at(1).value<quint16>(), quint16(9106));
        QCOMPARE(f.serverFound.last().at(2).toBool(), true);
        QCOMPARE(f.found.count(), 2);
        QCOMPARE(f.monitor.ping()->port(), quint16(9106));
    }

    void missCounterShowsNoticeEveryFourthMiss()
    {
        Fixture f;
        f.source->pids = {42};
        const QString notice = QStringLiteral("Игра запущена, соединение не найдено");
        QStringList texts;
        for (int run = 1; run <= 9; ++run) {
            f.monitor.updateTarget();
            texts << f.lastStatus();
        }
        QCOMPARE(texts, (QStringList {{}, {}, {}, notice, {}, {}, {}, notice, {}}));
        QCOMPARE(f.lost.count(), 0); // never connected, so nothing was lost
        QCOMPARE(f.monitor.missCount(), 1);
        f.source->pids.clear(); // game gone: the counter starts again
        f.monitor.updateTarget();
        QCOMPARE(f.monitor.missCount(), 0);
    }

    // The last server stays on display and pings to it go on until the game returns.
    void gameExitKeepsConnectionState()
    {
        Fixture f;
        f.source->connectTo("5.9.1.2", 9105);
        f.monitor.updateTarget();
        f.source->pids.clear();
        f.source->lose();
        f.monitor.updateTarget();
        QCOMPARE(f.game.count(), 2);
        QCOMPARE(f.game.last().at(0).toBool(), false);
        QVERIFY(f.monitor.isConnected());
        QVERIFY(f.monitor.isPingTimerActive());
        QCOMPARE(f.lost.count(), 0);
        QCOMPARE(f.lastStatus(), kWaiting);
    }

    void samplesKeepTheLastSixty()
    {
        PingEngine engine;
        for (int i = 1; i <= 61; ++i)
            engine.recordSample(i);
        QCOMPARE(engine.samples().size(), 60);
        QCOMPARE(engine.timedSamples().size(), 60);
        QCOMPARE(engine.samples().first(), 2);
        QCOMPARE(engine.timedSamples().first().second, 2);
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

    void cancelledMeasurementReportsNothing()
    {
        BlackHole hole;
        QTcpServer live;
        QVERIFY(live.listen(QHostAddress::LocalHost));
        PingEngine engine;
        QSignalSpy measured(&engine, &PingEngine::pingMeasured);
        engine.setTarget(QStringLiteral("127.0.0.1"), hole.port());
        engine.startPingMeasurement();
        QTest::qWait(50);
        engine.cancel(); // while connecting to a silent server
        // Cancelled before the queued measurement even started, then started anew: exactly one
        // result, for the new target.
        engine.startPingMeasurement();
        engine.setTarget(QStringLiteral("127.0.0.1"), live.serverPort());
        engine.startPingMeasurement();
        QVERIFY(measured.wait(2000));
        QTest::qWait(PingEngine::kTimeoutMs + 100);
        QCOMPARE(measured.count(), 1);
        QVERIFY(measured.first().at(0).toInt() < PingEngine::kNoAnswer);
    }

    // No stale 999 over the dashes of a lost connection.
    void lossCancelsTheMeasurementInFlight()
    {
        BlackHole hole;
        Fixture f;
        f.source->connectTo("127.0.0.1", hole.port());
        f.monitor.updateTarget();
        QSignalSpy measured(f.monitor.ping(), &PingEngine::pingMeasured);
        f.monitor.ping()->startPingMeasurement();
        QTest::qWait(50);
        f.source->lose();
        f.monitor.updateTarget();
        QTest::qWait(PingEngine::kTimeoutMs + 100);
        QCOMPARE(measured.count(), 0);
        QVERIFY(f.monitor.ping()->samples().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnectionMonitor)
#include "tst_connectionmonitor.moc"
