// The Linux platform layer against a Windows game client run by Wine: the process is found by its
// name and its connection, which the prefix's wineserver holds, is attributed to it.

#include "platform/platform.h"
#include "tools/toolprocess.h"

#include <QtTest>

#include <algorithm>

class TestPlatformWine : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { platform::setDirectSocketReads(true); }

    // Both ways of reading the rows: copies of the wineserver's sockets, and a dump of the table.
    void windowsClientConnectionIsAttributedToTheGame_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("sockets") << true;
        QTest::newRow("table dump") << false;
    }

    void windowsClientConnectionIsAttributedToTheGame()
    {
        QFETCH(bool, direct);
        platform::setDirectSocketReads(direct);
        const QString wine = qEnvironmentVariable("KESTREL_WINE64");
        const QString client = qEnvironmentVariable("KESTREL_WIN_BIN_DIR") + QStringLiteral("/rf4_x64.exe");
        QVERIFY2(QFileInfo(wine).isExecutable() && QFileInfo::exists(client), "wine64 or the client missing");
        // A second prefix's wineserver of the same user: the attribution has to pick the game's own.
        QTemporaryDir otherPrefix;
        QProcessEnvironment decoyEnv = QProcessEnvironment::systemEnvironment();
        decoyEnv.insert(QStringLiteral("WINEPREFIX"), otherPrefix.path());
        ToolProcess decoy(QFileInfo(wine).absolutePath() + QStringLiteral("/wineserver"),
            {QStringLiteral("-f"), QStringLiteral("-p")}, decoyEnv);

        ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.2:0")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        const quint16 port = server.lineStartingWith("LISTENING").split(':').last().toUShort();
        // The first start in a prefix can take a while.
        ToolProcess game(wine, {client, QStringLiteral("127.0.0.2"), QString::number(port)});
        const QByteArray connected = game.waitForLine("CONNECTED", 120000);
        QVERIFY2(!connected.isEmpty(), game.allOutput().constData());
        const quint16 localPort = connected.split(' ').last().toUShort();
        QVERIFY2(decoy.process()->state() == QProcess::Running, decoy.allOutput().constData());

        const std::vector<uint32_t> pids = platform::processIdsMatching({"rf4_x64.exe", "rf4.exe"});
        std::vector<platform::TcpRow> rows;
        QVERIFY(platform::readTcpTable(rows, pids));
        const auto row = std::find_if(rows.begin(), rows.end(),
            [&](const platform::TcpRow &r) { return r.localPort == localPort && r.remotePort == port; });
        QVERIFY(row != rows.end());
        QCOMPARE(row->state, uint32_t(platform::TcpEstablished));
        QCOMPARE(row->remoteAddr, uint32_t(0x7F000002));
        QVERIFY2(std::find(pids.begin(), pids.end(), row->pid) != pids.end(),
            qPrintable(QStringLiteral("row owned by pid %1").arg(row->pid)));
        QVERIFY(platform::processAlive(row->pid));
        QVERIFY(platform::connectionExists(*row));

        const platform::TcpRow known = *row;
        game.send("drop");
        QVERIFY(!game.waitForLine("DROPPED", 30000).isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return !platform::connectionExists(known); }, 10000));
        game.send("quit");
        QVERIFY(game.waitForExit(30000));
        QVERIFY(QTest::qWaitFor([&] { return !platform::processAlive(known.pid); }, 10000));
    }
};

QTEST_GUILESS_MAIN(TestPlatformWine)
#include "tst_platform_wine.moc"
