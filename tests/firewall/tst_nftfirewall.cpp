// The Linux backend against the real nftables, inside a network namespace of
// this test's own: the host's ruleset is never looked at or touched. Blocked
// ports must refuse at once (TCP reset) and open ones must connect.

#include "app/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>

namespace {

enum class Network
{
    NotRoot,
    Private,
    Failed
};
Network g_network = Network::Failed;
QString g_networkError;

QByteArray networkNamespace()
{
    char link[128] = {};
    const ssize_t size = readlink("/proc/self/ns/net", link, sizeof link - 1);
    return size > 0 ? QByteArray(link, int(size)) : QByteArray();
}

bool bringLoopbackUp()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return ok;
}

// Called before any thread exists, so the whole process, and every program it
// starts, lives in the new namespace.
void enterPrivateNetwork()
{
    if (geteuid() != 0) {
        g_network = Network::NotRoot;
        return;
    }
    const QByteArray before = networkNamespace();
    if (unshare(CLONE_NEWNET) != 0) {
        g_networkError = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (before.isEmpty() || networkNamespace() == before) {
        g_networkError = QStringLiteral("namespace did not change");
        return;
    }
    if (!bringLoopbackUp()) {
        g_networkError = QStringLiteral("cannot bring lo up");
        return;
    }
    g_network = Network::Private;
}

ProcessResult nft(const QStringList &args, const QByteArray &input = {})
{
    return SystemProcessRunner().run(NftFirewallBackend().program(), args, 10000, input);
}

QStringList tableNames()
{
    const ProcessResult result
        = nft({QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("tables")});
    QStringList names;
    const QJsonArray items
        = QJsonDocument::fromJson(result.standardOutput).object().value(QLatin1String("nftables")).toArray();
    for (const QJsonValue &item : items) {
        const QJsonObject table = item.toObject().value(QLatin1String("table")).toObject();
        if (!table.isEmpty())
            names.append(table.value(QLatin1String("family")).toString() + QLatin1Char(' ')
                + table.value(QLatin1String("name")).toString());
    }
    return names;
}

enum class Reach
{
    Connected,
    Refused,
    Other
};

Reach connectTo(const QHostAddress &address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    // A dropped SYN would leave the socket connecting: that counts as a failure here.
    const bool settled = QTest::qWaitFor(
        [&] {
            return socket.state() == QAbstractSocket::ConnectedState
                || socket.error() != QAbstractSocket::UnknownSocketError;
        },
        10000);
    if (!settled)
        return Reach::Other;
    if (socket.state() == QAbstractSocket::ConnectedState)
        return Reach::Connected;
    return socket.error() == QAbstractSocket::ConnectionRefusedError ? Reach::Refused : Reach::Other;
}

const char *reachName(Reach reach)
{
    switch (reach) {
    case Reach::Connected:
        return "connected";
    case Reach::Refused:
        return "refused";
    case Reach::Other:
        break;
    }
    return "no answer";
}

} // namespace

class TestNftFirewall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void applyEachPreset_data();
    void applyEachPreset();
    void applyTwiceLeavesOneTable();
    void clearRemovesTable();
    void handEditedTable_data();
    void handEditedTable();

private:
    bool listen(quint16 port);
    void applyPreset(FirewallController &controller, int index);

    std::map<QString, std::unique_ptr<QTcpServer>> m_servers;
    bool m_ipv6 = false;
};

void TestNftFirewall::initTestCase()
{
    if (g_network == Network::NotRoot)
        QSKIP("needs root to create a private network namespace");
    if (!QFileInfo(NftFirewallBackend().program()).isExecutable())
        QSKIP("nft is not installed");
    if (g_network != Network::Private)
        QFAIL(qPrintable(QStringLiteral("no private network namespace: ") + g_networkError));

    // A fresh namespace starts with an empty ruleset; anything else means we are not in one.
    const ProcessResult ruleset = nft({QStringLiteral("list"), QStringLiteral("ruleset")});
    QVERIFY2(ruleset.succeeded(), ruleset.standardError.constData());
    QVERIFY2(ruleset.standardOutput.trimmed().isEmpty(), "ruleset not empty: not a private namespace");

    QTcpServer probe;
    m_ipv6 = probe.listen(QHostAddress::LocalHostIPv6, 0);
}

void TestNftFirewall::init()
{
    QVERIFY(g_network == Network::Private);
    QVERIFY(nft({QStringLiteral("flush"), QStringLiteral("ruleset")}).succeeded());
}

bool TestNftFirewall::listen(quint16 port)
{
    for (const QHostAddress &address :
        {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol && !m_ipv6)
            continue;
        const QString key = address.toString() + QLatin1Char('/') + QString::number(port);
        if (m_servers.count(key))
            continue;
        auto server = std::make_unique<QTcpServer>();
        if (!server->listen(address, port))
            return false;
        m_servers[key] = std::move(server);
    }
    return true;
}

void TestNftFirewall::applyPreset(FirewallController &controller, int index)
{
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    controller.onRangeClicked(index);
    controller.applyRule();
    QVERIFY(QTest::qWaitFor([&] { return !applied.isEmpty() || !warning.isEmpty(); }, 30000));
    QVERIFY2(warning.isEmpty(), qPrintable(warning.value(0).value(1).toString()));
    QVERIFY(applied.at(0).at(0).toBool());
}

void TestNftFirewall::applyEachPreset_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < firewall::kPresetCount; ++i)
        QTest::addRow("preset %d", i + 1) << i;
}

void TestNftFirewall::applyEachPreset()
{
    QFETCH(int, index);
    const int windowFirst = 9101 + 100 * index;
    const int windowLast = windowFirst + 97;
    // Both edges of the open window and of the blocked ranges, and ports outside them.
    const QList<QPair<int, Reach>> probes = {
        {9000, Reach::Connected},
        {9001, Reach::Refused},
        {windowFirst - 1, Reach::Refused},
        {windowFirst, Reach::Connected},
        {windowLast, Reach::Connected},
        {windowLast + 1, Reach::Refused},
        {9999, Reach::Refused},
        {10000, Reach::Connected},
    };
    for (const auto &probe : probes)
        QVERIFY2(listen(quint16(probe.first)), qPrintable(QString::number(probe.first)));

    FirewallController controller(std::make_unique<NftFirewallBackend>());
    applyPreset(controller, index);
    QCOMPARE(controller.activeIndex(), index);
    QCOMPARE(controller.lastOutcome(), firewall::RuleOutcome::Matching);
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));

    for (const auto &probe : probes) {
        const Reach reach = connectTo(QHostAddress::LocalHost, quint16(probe.first));
        QVERIFY2(reach == probe.second,
            qPrintable(QStringLiteral("port %1: %2").arg(probe.first).arg(QLatin1String(reachName(reach)))));
    }
    if (m_ipv6) {
        // The table is of family inet: IPv6 servers are blocked alike.
        QCOMPARE(connectTo(QHostAddress::LocalHostIPv6, 9001), Reach::Refused);
        QCOMPARE(connectTo(QHostAddress::LocalHostIPv6, quint16(windowFirst)), Reach::Connected);
    }

    FirewallController reopened(std::make_unique<NftFirewallBackend>());
    reopened.detectActiveRange();
    QCOMPARE(reopened.activeIndex(), index);
}

void TestNftFirewall::applyTwiceLeavesOneTable()
{
    FirewallController controller(std::make_unique<NftFirewallBackend>());
    applyPreset(controller, 1);
    applyPreset(controller, 1);
    applyPreset(controller, 3);
    QCOMPARE(tableNames(), QStringList {QStringLiteral("inet RF4_Game_Ports")});
    const ProcessResult listing = nft({QStringLiteral("list"), QStringLiteral("ruleset")});
    QCOMPARE(listing.standardOutput.count("reject with tcp reset"), 1);
    QCOMPARE(controller.activeIndex(), 3);
}

void TestNftFirewall::clearRemovesTable()
{
    QVERIFY(listen(9050));
    FirewallController controller(std::make_unique<NftFirewallBackend>());
    controller.setQuestionHandler([](const QString &, const QString &) { return true; });
    applyPreset(controller, 0);
    QCOMPARE(connectTo(QHostAddress::LocalHost, 9050), Reach::Refused);

    QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
    controller.clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(cleared.at(0).at(0).toBool());
    QCOMPARE(tableNames(), QStringList());
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    QCOMPARE(connectTo(QHostAddress::LocalHost, 9050), Reach::Connected);

    // Clearing with nothing there is no error.
    controller.clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(cleared.at(1).at(0).toBool());
}

void TestNftFirewall::handEditedTable_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("active");

    const QByteArray head = "table inet RF4_Game_Ports {\n";
    const QByteArray chain = "chain output { type filter hook output priority filter; policy accept;\n";
    QTest::newRow("other ports") << head + chain + "tcp dport 9001-9100 drop\n}\n}\n"
                                 << int(firewall::RuleOutcome::NotMatching) << -1;
    QTest::newRow("chain without rule") << head + chain + "}\n}\n"
                                        << int(firewall::RuleOutcome::PresentWithoutPorts) << -1;
    QTest::newRow("empty table") << head + "}\n" << int(firewall::RuleOutcome::PresentWithoutPorts) << -1;
    QTest::newRow("preset 3 through a named set")
        << head + "set blocked { type inet_service; flags interval; elements = { 9399-9999, 9001-9300 } }\n"
            + chain + "tcp dport @blocked reject\n}\n}\n"
        << int(firewall::RuleOutcome::Matching) << 2;
    QTest::newRow("preset 2 in two rules")
        << head + chain + "tcp dport 9299-9999 drop\ntcp dport 9001-9200 drop\n}\n}\n"
        << int(firewall::RuleOutcome::Matching) << 1;
    QTest::newRow("preset 1 accepted, not blocked")
        << head + chain + "tcp dport { 9001-9100, 9199-9999 } accept\n}\n}\n"
        << int(firewall::RuleOutcome::PresentWithoutPorts) << -1;
}

void TestNftFirewall::handEditedTable()
{
    QFETCH(QByteArray, script);
    QFETCH(int, outcome);
    QFETCH(int, active);

    const ProcessResult edit = nft({QStringLiteral("-f"), QStringLiteral("-")}, script);
    QVERIFY2(edit.succeeded(), edit.standardError.constData());

    FirewallController controller(std::make_unique<NftFirewallBackend>());
    QSignalSpy status(&controller, &FirewallController::statusChanged);
    controller.detectActiveRange();
    const firewall::StatusView expected = firewall::statusView(firewall::RuleOutcome(outcome));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), expected.text);
    QCOMPARE(status.at(0).at(1).toString(), expected.styleSheet);
    QCOMPARE(controller.activeIndex(), active);
}

int main(int argc, char *argv[])
{
    enterPrivateNetwork();
    QCoreApplication app(argc, argv);
    TestNftFirewall test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_nftfirewall.moc"
