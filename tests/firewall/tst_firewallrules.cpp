// Pure parts of the firewall rule: port lists, preset matching, parsers, scripts.

#include "firewall/nftfirewallbackend.h"
#include "firewall/portrangepreset.h"
#include "firewall/windowsfirewallbackend.h"

#include <QTest>

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    void portLists_data();
    void portLists();
    void validPortList_data();
    void validPortList();
    void netshRemotePorts_data();
    void netshRemotePorts();
    void nftScriptsRefuseInjection();
};

void TestFirewallRules::portLists_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("normalized");
    QTest::addColumn<int>("preset");
    QTest::newRow("preset 1") << "9001-9100,9199-9999"
                              << "9001-9100,9199-9999" << 0;
    QTest::newRow("reversed with blank") << "9199-9999, 9001-9100"
                                         << "9001-9100,9199-9999" << 0;
    QTest::newRow("powershell CRLF lines") << "9001-9300\r\n9399-9999\r\n"
                                           << "9001-9300,9399-9999" << 2;
    QTest::newRow("LF, lone CR, tabs, empty parts") << "\t9599-9999,,\n9001-9500\r"
                                                    << "9001-9500,9599-9999" << 4;
    QTest::newRow("foreign characters dropped") << "Port 9001-9100;,x"
                                                << "9001-9100" << -1;
    QTest::newRow("string order, not numeric") << "10000,9999,200"
                                               << "10000,200,9999" << -1;
    QTest::newRow("9001-9100 alone") << "9001-9100"
                                     << "9001-9100" << -1;
    QTest::newRow("preset plus one port") << "9001-9100,9199-9999,9000"
                                          << "9000,9001-9100,9199-9999" << -1;
    QTest::newRow("blank") << " \r\n "
                           << "" << -1;
    QTest::newRow("any") << "Any"
                         << "" << -1;
}

void TestFirewallRules::portLists()
{
    QFETCH(QString, input);
    QFETCH(QString, normalized);
    QFETCH(int, preset);
    QCOMPARE(firewall::normalizePortList(input), normalized);
    QCOMPARE(firewall::matchingPreset(input), preset);
}

void TestFirewallRules::validPortList_data()
{
    QTest::addColumn<QString>("ports");
    QTest::addColumn<bool>("valid");
    QTest::newRow("preset") << "9001-9100,9199-9999" << true;
    QTest::newRow("bounds") << "1,65535" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("too big") << "65536" << false;
    QTest::newRow("descending range") << "9100-9001" << false;
    QTest::newRow("blank") << "9001, 9002" << false;
    QTest::newRow("trailing comma") << "9001," << false;
    QTest::newRow("quote injection") << "9001\" -Action Allow \"" << false;
    QTest::newRow("shell metacharacters") << "9001&calc" << false;
    QTest::newRow("nft injection") << "9001 } accept; {" << false;
}

void TestFirewallRules::validPortList()
{
    QFETCH(QString, ports);
    QFETCH(bool, valid);
    QCOMPARE(firewall::isValidPortList(ports), valid);
}

void TestFirewallRules::netshRemotePorts_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");
    QTest::newRow("add syntax") << QStringLiteral("remoteport = 9001-9300,9399-9999 enable=yes")
                                << "9001-9300,9399-9999";
    QTest::newRow("russian wins over english")
        << QStringLiteral("RemotePort: 9001\r\nУдаленный порт: 9002\r\n") << "9002";
    QTest::newRow("first rule of two")
        << QStringLiteral("RemotePort: 9001-9100\r\n\r\nRemotePort: 9999\r\n") << "9001-9100";
    QTest::newRow("lower-case label is not netsh's") << QStringLiteral("remoteport: 9001") << "";
}

void TestFirewallRules::netshRemotePorts()
{
    QFETCH(QString, output);
    QFETCH(QString, expected);
    QCOMPARE(WindowsFirewallCommands::remotePortsFromNetsh(output), expected);
}

void TestFirewallRules::nftScriptsRefuseInjection()
{
    using namespace NftCommands;
    const QString table = QStringLiteral("RF4_Game_Ports");
    // Deleted and re-created in one script: the replacement is one transaction.
    QVERIFY(replaceScript(table, QStringLiteral("9001-9100,9199-9999"))
                .startsWith("table inet RF4_Game_Ports\ndelete table inet RF4_Game_Ports\n"
                            "table inet RF4_Game_Ports {\n"));
    QVERIFY(replaceScript(table, QStringLiteral("9001 } accept")).isEmpty());
    for (const char *name : {"x; flush ruleset", "x\nflush ruleset", "4RF", "RF4-Game", ""}) {
        QVERIFY2(!isValidTableName(QString::fromUtf8(name)), name);
        QVERIFY(replaceScript(QString::fromUtf8(name), QStringLiteral("9001")).isEmpty());
        QVERIFY(removeScript(QString::fromUtf8(name)).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
