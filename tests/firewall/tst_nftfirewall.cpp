// The Linux backend against the real nftables, inside a network namespace of
// this test's own: the host's ruleset is never looked at or touched. Blocked
// ports must refuse at once (TCP reset) and open ones must connect.

#include "core/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <unistd.h>

#include <map>

namespace {

QString g_networkError;

QByteArray networkNamespace()
{
    char link[128] = {};
    const ssize_t size = readlink("/proc/self/ns/net", link, sizeof link - 1);
    return size > 0 ? QByteArray(link, int(size)) : QByteArray();
}

// Called before any thread exists, so the whole process, and every program it
// starts, lives in the new namespace.
void enterPrivateNetwork()
{
    const QByteArray before = networkNamespace();
    if (geteuid() != 0)
        g_networkError = QStringLiteral("not root");
    else if (unshare(CLONE_NEWNET) != 0)
        g_networkError = QString::fromLocal8Bit(std::strerror(errno));
    else if (before.isEmpty() || networkNamespace() == before)
        g_networkError = QStringLiteral("namespace did not change");
}

ProcessResult nft(const QString &args, const QByteArray &input = {})
{
    return SystemProcessRunner().run(
        NftFirewallBackend().program(), args.split(QLatin1Char(' ')), 10000, input);
}

// "connected", "refused" (TCP reset) or "no answer" (say, a dropped SYN).
QString connectTo(const QHostAddress &address, int port)
{
    QTcpSocket socket;
    socket.connectToHost(address, quint16(port));
    (void)QTest::qWaitFor(
        [&] {
            return socket.state() == QAbstractSocket::ConnectedState
                || socket.error() != QAbstractSocket::UnknownSocketError;
        },
        10000);
    if (socket.state() == QAbstractSocket::ConnectedState)
        return QStringLiteral("connected");
    return QLatin1String(socket.error() == QAbstractSocket::ConnectionRefusedError ? "refused" : "no answer");
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
    void applyTwiceThenClear();
    void handEditedTable_data();
    void handEditedTable();

private:
    bool listen(int port);
    void applyPreset(FirewallController &controller, int index);

    std::map<int, std::unique_ptr<QTcpServer>> m_servers;
    bool m_ipv6 = false;
};

void TestNftFirewall::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root to create a private network namespace");
    if (!QFileInfo(NftFirewallBackend().program()).isExecutable())
        QSKIP("nft is not installed");
    QVERIFY2(g_networkError.isEmpty(), qPrintable(g_networkError));
    // root's PATH may lack the sbin folders
    const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
            QStringLiteral("/bin")});
    QVERIFY2(!ip.isEmpty(), "ip (iproute2) is not installed");
    QCOMPARE(QProcess::execute(ip, QStringLiteral("link set lo up").split(QLatin1Char(' '))), 0);

    // A fresh namespace starts with an empty ruleset; anything else means we are not in one.
    const ProcessResult ruleset = nft(QStringLiteral("list ruleset"));
    QVERIFY2(ruleset.succeeded(), ruleset.standardError.constData());
    QVERIFY2(ruleset.standardOutput.trimmed().isEmpty(), "ruleset not empty: not a private namespace");

    m_ipv6 = QTcpServer().listen(QHostAddress::LocalHostIPv6);
}

void TestNftFirewall::init()
{
    QVERIFY(nft(QStringLiteral("flush ruleset")).succeeded());
}

// Dual-stack: one server answers on 127.0.0.1 and ::1.
bool TestNftFirewall::listen(int port)
{
    std::unique_ptr<QTcpServer> &server = m_servers[port];
    if (!server) {
        server = std::make_unique<QTcpServer>();
        server->listen(QHostAddress::Any, quint16(port));
    }
    return server->isListening();
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
    const int windowFirst = 9101 + 100 * index, windowLast = windowFirst + 97;
    // Both edges of the open window and of the blocked ranges, and ports outside them.
    const QList<QPair<int, const char *>> probes
        = {{9000, "connected"}, {9001, "refused"}, {windowFirst - 1, "refused"}, {windowFirst, "connected"},
            {windowLast, "connected"}, {windowLast + 1, "refused"}, {9999, "refused"}, {10000, "connected"}};
    for (const auto &probe : probes)
        QVERIFY2(listen(probe.first), qPrintable(QString::number(probe.first)));

    FirewallController controller(std::make_unique<NftFirewallBackend>());
    applyPreset(controller, index);
    QCOMPARE(controller.activeIndex(), index);
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));

    for (const auto &probe : probes)
        QCOMPARE(
            QString::number(probe.first) + QLatin1Char(' ') + connectTo(QHostAddress::LocalHost, probe.first),
            QString::number(probe.first) + QLatin1Char(' ') + QLatin1String(probe.second));
    if (m_ipv6) {
        // The table is of family inet: IPv6 servers are blocked alike.
        QCOMPARE(connectTo(QHostAddress::LocalHostIPv6, 9001), QStringLiteral("refused"));
        QCOMPARE(connectTo(QHostAddress::LocalHostIPv6, windowFirst), QStringLiteral("connected"));
    }

    FirewallController reopened(std::make_unique<NftFirewallBackend>());
    reopened.detectActiveRange();
    QCOMPARE(reopened.activeIndex(), index);
}

void TestNftFirewall::applyTwiceThenClear()
{
    QVERIFY(listen(9050));
    FirewallController controller(std::make_unique<NftFirewallBackend>());
    controller.setQuestionHandler([](const QString &, const QString &) { return true; });
    applyPreset(controller, 1);
    applyPreset(controller, 1);
    applyPreset(controller, 0);
    const QByteArray ruleset = nft(QStringLiteral("list ruleset")).standardOutput;
    QCOMPARE(ruleset.count("table "), 1);
    QCOMPARE(ruleset.count("table inet RF4_Game_Ports"), 1);
    QCOMPARE(ruleset.count("reject"), 1);
    QCOMPARE(connectTo(QHostAddress::LocalHost, 9050), QStringLiteral("refused"));

    QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
    controller.clearRule();
    QVERIFY(cleared.wait(30000));
    QCOMPARE(nft(QStringLiteral("list ruleset")).standardOutput.trimmed(), QByteArray());
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    QCOMPARE(connectTo(QHostAddress::LocalHost, 9050), QStringLiteral("connected"));
    controller.clearRule(); // with nothing there: no error
    QVERIFY(cleared.wait(30000));
    QVERIFY(cleared.at(0).at(0).toBool() && cleared.at(1).at(0).toBool());
}

void TestNftFirewall::handEditedTable_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("active");

    const QByteArray head = "table inet RF4_Game_Ports {\n";
    const QByteArray chain
        = head + "chain output { type filter hook output priority filter; policy accept;\n";
    const int other = int(firewall::RuleOutcome::NotMatching),
              matching = int(firewall::RuleOutcome::Matching);
    const int noPorts = int(firewall::RuleOutcome::PresentWithoutPorts);
    QTest::newRow("other ports") << chain + "tcp dport 9001-9100 drop\n}\n}\n" << other << -1;
    QTest::newRow("preset 3 through a named set")
        << head + "set blocked { type inet_service; flags interval; elements = { 9399-9999, 9001-9300 } }\n"
            + chain.mid(head.size()) + "tcp dport @blocked reject\n}\n}\n"
        << matching << 2;
    QTest::newRow("preset 2 in two rules")
        << chain + "tcp dport 9299-9999 drop\ntcp dport 9001-9200 drop\n}\n}\n"
        << matching << 1;
    QTest::newRow("preset 1 accepted, not blocked")
        << chain + "tcp dport { 9001-9100, 9199-9999 } accept\n}\n}\n"
        << noPorts << -1;
    QTest::newRow("preset 1 on udp") << chain + "udp dport { 9001-9100, 9199-9999 } drop\n}\n}\n"
                                     << noPorts << -1;
}

void TestNftFirewall::handEditedTable()
{
    QFETCH(QByteArray, script);
    QFETCH(int, outcome);
    QFETCH(int, active);

    const ProcessResult edit = nft(QStringLiteral("-f -"), script);
    QVERIFY2(edit.succeeded(), edit.standardError.constData());

    FirewallController controller(std::make_unique<NftFirewallBackend>());
    controller.detectActiveRange();
    QCOMPARE(controller.status().text, firewall::statusView(firewall::RuleOutcome(outcome)).text);
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
