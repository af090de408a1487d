// The Linux rule against the real nftables, inside a network namespace of this test's
// own: the host's ruleset is never looked at or touched. Both ways KESTREL changes it
// are driven through the controller: nft run by a privileged KESTREL, and the root
// helper that an unprivileged KESTREL runs through pkexec (here started directly, as
// root). Blocked ports must refuse at once (TCP reset), open ones must connect.

#include "core/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"
#include "firewall/pkexecfirewallbackend.h"
#include "tools/toolprocess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
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

ProcessResult helper(const QStringList &args)
{
    return SystemProcessRunner().run(
        ToolProcess::binPath(QStringLiteral("kestrel-firewall-helper")), args, 10000);
}

std::unique_ptr<FirewallBackend> backend(const QString &kind)
{
    if (kind == QLatin1String("nft"))
        return std::make_unique<NftFirewallBackend>();
    return std::make_unique<PkexecFirewallBackend>(
        ToolProcess::binPath(QStringLiteral("kestrel-firewall-helper")), QString());
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
    void applyTwiceThenClear_data();
    void applyTwiceThenClear();
    void handEditedTable_data();
    void handEditedTable();
    void helperRefuses_data();
    void helperRefuses();
    void helperFailuresAreFailures();
    void dismissedPasswordChangesNothing();

private:
    bool listen(int port);
    void applyPreset(FirewallController &controller, int index, bool expectOk = true);

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

void TestNftFirewall::applyPreset(FirewallController &controller, int index, bool expectOk)
{
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    controller.onRangeClicked(index);
    controller.applyRule();
    QVERIFY(applied.wait(30000));
    QCOMPARE(applied.at(0).at(0).toBool(), expectOk);
    QCOMPARE(warning.isEmpty(), expectOk);
}

void TestNftFirewall::applyEachPreset_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("index");
    for (const char *kind : {"nft", "helper"}) {
        for (int i = 0; i < firewall::kPresetCount; ++i)
            QTest::addRow("%s, preset %d", kind, i + 1) << QString::fromLatin1(kind) << i;
    }
}

void TestNftFirewall::applyEachPreset()
{
    QFETCH(QString, kind);
    QFETCH(int, index);
    const int windowFirst = 9101 + 100 * index, windowLast = windowFirst + 97;
    // Both edges of the open window and of the blocked ranges, and ports outside them.
    const QList<QPair<int, const char *>> probes
        = {{9000, "connected"}, {9001, "refused"}, {windowFirst - 1, "refused"}, {windowFirst, "connected"},
            {windowLast, "connected"}, {windowLast + 1, "refused"}, {9999, "refused"}, {10000, "connected"}};
    for (const auto &probe : probes)
        QVERIFY2(listen(probe.first), qPrintable(QString::number(probe.first)));

    FirewallController controller(backend(kind));
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

    // What the helper reports is what the firewall holds, whichever way it got there.
    const ProcessResult status = helper({QStringLiteral("status")});
    QCOMPARE(status.exitCode, 0);
    QCOMPARE(status.standardOutput,
        "rule=present\nports=" + FirewallController::presets()[size_t(index)].ports.toUtf8() + '\n');
}

void TestNftFirewall::applyTwiceThenClear_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("nft") << QStringLiteral("nft");
    QTest::newRow("helper") << QStringLiteral("helper");
}

void TestNftFirewall::applyTwiceThenClear()
{
    QFETCH(QString, kind);
    QVERIFY(listen(9050));
    FirewallController controller(backend(kind));
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
    QCOMPARE(helper({QStringLiteral("status")}).standardOutput, QByteArray("rule=absent\nports=\n"));
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

// Read the same way by both backends.
void TestNftFirewall::handEditedTable()
{
    QFETCH(QByteArray, script);
    QFETCH(int, outcome);
    QFETCH(int, active);

    const ProcessResult edit = nft(QStringLiteral("-f -"), script);
    QVERIFY2(edit.succeeded(), edit.standardError.constData());
    for (const QString &kind : {QStringLiteral("nft"), QStringLiteral("helper")}) {
        FirewallController controller(backend(kind));
        controller.detectActiveRange();
        QCOMPARE(controller.status().text, firewall::statusView(firewall::RuleOutcome(outcome)).text);
        QCOMPARE(controller.activeIndex(), active);
    }
}

void TestNftFirewall::helperRefuses_data()
{
    QTest::addColumn<QStringList>("args");
    const auto row = [](const char *name, const QStringList &args) { QTest::newRow(name) << args; };
    row("nothing", {});
    row("a port list", {QStringLiteral("9001-9100,9199-9999")});
    row("a port", {QStringLiteral("9001")});
    row("preset 0", {QStringLiteral("0")});
    row("preset 6", {QStringLiteral("6")});
    row("preset 01", {QStringLiteral("01")});
    row("blank before", {QStringLiteral(" 1")});
    row("command chained", {QStringLiteral("clear; nft flush ruleset")});
    row("semicolon", {QStringLiteral(";")});
    row("a path", {QStringLiteral("/etc/nftables.conf")});
    row("upper case", {QStringLiteral("CLEAR")});
    row("empty", {QString()});
    row("an option", {QStringLiteral("--help")});
    row("extra argument", {QStringLiteral("1"), QStringLiteral("2")});
    row("status plus a script", {QStringLiteral("status"), QStringLiteral("-f")});
}

// A refused call says why, exits 2, prints no data and leaves the rule as it was.
void TestNftFirewall::helperRefuses()
{
    QFETCH(QStringList, args);
    QVERIFY(helper({QStringLiteral("4")}).succeeded());
    const QByteArray before = nft(QStringLiteral("list ruleset")).standardOutput;

    const ProcessResult result = helper(args);
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.standardOutput, QByteArray());
    QVERIFY2(result.standardError.contains("usage: kestrel-firewall-helper 1|2|3|4|5|clear|status"),
        result.standardError.constData());
    QVERIFY(result.standardError.startsWith("kestrel-firewall-helper: "));
    QCOMPARE(nft(QStringLiteral("list ruleset")).standardOutput, before);
}

// Without the right, nft refuses; the helper says so and prints no made-up state.
void TestNftFirewall::helperFailuresAreFailures()
{
    for (const QString &command : {QStringLiteral("status"), QStringLiteral("clear"), QStringLiteral("2")}) {
        QProcess run;
        run.start(QStringLiteral("setpriv"),
            {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                QStringLiteral("--clear-groups"),
                ToolProcess::binPath(QStringLiteral("kestrel-firewall-helper")), command});
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(run.readAllStandardOutput(), QByteArray());
        QVERIFY(!run.readAllStandardError().isEmpty());
    }
}

// The polkit agent's password box dismissed (pkexec exits 126): apply and clear report
// failure, and the rows show the rule the firewall still holds.
void TestNftFirewall::dismissedPasswordChangesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString launcher = dir.filePath(QStringLiteral("pkexec"));
    QFile script(launcher);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n[ \"$2\" = status ] && exec \"$@\"\necho 'Error executing command' >&2\nexit 126\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(helper({QStringLiteral("3")}).succeeded());

    FirewallController controller(std::make_unique<PkexecFirewallBackend>(
        ToolProcess::binPath(QStringLiteral("kestrel-firewall-helper")), launcher));
    controller.setQuestionHandler([](const QString &, const QString &) { return true; });
    controller.detectActiveRange();
    QCOMPARE(controller.activeIndex(), 2);
    applyPreset(controller, 0, false);
    QCOMPARE(controller.activeIndex(), 2);
    QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
    controller.clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(!cleared.at(0).at(0).toBool());
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    QCOMPARE(controller.activeIndex(), 2);
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
