// The Linux platform layer against a Windows game client run by Wine: the process is found by its
// name and its connection, which the prefix's wineserver holds, is attributed to it.

#include "platform/platform.h"
#include "tools/toolprocess.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class TestPlatformWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowsClientConnectionIsAttributedToTheGame_data();
    void windowsClientConnectionIsAttributedToTheGame();

private:
    QString m_wine;
};

void TestPlatformWine::initTestCase()
{
    m_wine = qEnvironmentVariable("KESTREL_WINE64");
    QVERIFY2(QFileInfo(m_wine).isExecutable(), "wine64 loader missing");
    QVERIFY(QFileInfo::exists(qEnvironmentVariable("KESTREL_WIN_BIN_DIR") + QStringLiteral("/rf4_x64.exe")));
    QVERIFY(!qEnvironmentVariable("WINEPREFIX").isEmpty());
}

void TestPlatformWine::cleanup()
{
    platform::setDirectSocketReads(true);
}

// Both ways of reading the rows: copies of the wineserver's sockets, and a dump of the table.
void TestPlatformWine::windowsClientConnectionIsAttributedToTheGame_data()
{
    QTest::addColumn<bool>("direct");
    QTest::newRow("sockets") << true;
    QTest::newRow("table dump") << false;
}

void TestPlatformWine::windowsClientConnectionIsAttributedToTheGame()
{
    QFETCH(bool, direct);
    platform::setDirectSocketReads(direct);
    // A second prefix's wineserver of the same user: the attribution has to pick the game's own.
    QTemporaryDir otherPrefix;
    QVERIFY(otherPrefix.isValid());
    QProcessEnvironment decoyEnv = QProcessEnvironment::systemEnvironment();
    decoyEnv.insert(QStringLiteral("WINEPREFIX"), otherPrefix.path());
    const QString wineserver = QFileInfo(m_wine).absolutePath() + QStringLiteral("/wineserver");
    ToolProcess decoy(wineserver, {QStringLiteral("-f"), QStringLiteral("-p")}, decoyEnv);

    ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.2:0")});
    QVERIFY(!server.waitForLine("READY").isEmpty());
    const QByteArray port = server.lineStartingWith("LISTENING").split(':').last();

    // The first start in a prefix can take a while.
    ToolProcess game(m_wine,
        {qEnvironmentVariable("KESTREL_WIN_BIN_DIR") + QStringLiteral("/rf4_x64.exe"),
            QStringLiteral("127.0.0.2"), QString::fromLatin1(port)});
    const QByteArray connected = game.waitForLine("CONNECTED", 120000);
    QVERIFY2(!connected.isEmpty(), game.allOutput().constData());
    const quint16 localPort = connected.split(' ').last().toUShort();

    QVERIFY2(decoy.process()->state() == QProcess::Running, decoy.allOutput().constData());
    const std::vector<uint32_t> pids
        = platform::processIdsMatching({"rf4_x64.exe", "rf4.exe", "russian fishing 4"});
    QVERIFY(!pids.empty());

    std::vector<platform::TcpRow> rows;
    QVERIFY(platform::readTcpTable(rows, pids));
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const platform::TcpRow &r) {
        return r.localPort == localPort && r.remotePort == port.toUShort();
    });
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

QTEST_GUILESS_MAIN(TestPlatformWine)
#include "tst_platform_wine.moc"
