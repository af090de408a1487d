// The Linux rule against the real nftables, in a network namespace of the test's own (the
// host's ruleset is never touched), changed both ways KESTREL does: nft run by a privileged
// KESTREL, and the root helper that an installed one runs through pkexec (here run directly).

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

// Called before any thread exists, so the whole process, and every program it
// starts, lives in the new namespace.
void enterPrivateNetwork()
{
    if (geteuid() == 0 && unshare(CLONE_NEWNET) != 0)
        g_networkError = QString::fromLocal8Bit(std::strerror(errno));
}

ProcessResult nft(const QString &args, const QByteArray &input = {})
{
    return SystemProcessRunner().run(
        NftFirewallBackend().program(), args.split(QLatin1Char(' ')), 10000, input);
}

QString helperPath()
{
    return ToolProcess::binPath(QStringLiteral("kestrel-firewall-helper"));
}

ProcessResult helper(const QStringList &args)
{
    return SystemProcessRunner().run(helperPath(), args, 10000);
}

std::unique_ptr<FirewallBackend> backend(const QString &kind)
{
    if (kind == QLatin1String("nft"))
        return std::make_unique<NftFirewallBackend>();
    return std::make_unique<PkexecFirewallBackend>(helperPath(), QString());
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
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("needs root to create a private network namespace");
        if (!QFileInfo(NftFirewallBackend().program()).isExecutable())
            QSKIP("nft is not installed");
        QVERIFY2(g_networkError.isEmpty(), qPrintable(g_networkError));
        // root's PATH may lack the sbin folders
        QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("PATH=/usr/sbin:/sbin:$PATH ip link set lo up")}),
            0);

        // A fresh namespace starts with an empty ruleset; anything else means we are not in one.
        const ProcessResult ruleset = nft(QStringLiteral("list ruleset"));
        QVERIFY2(ruleset.succeeded(), ruleset.standardError.constData());
        QVERIFY2(ruleset.standardOutput.trimmed().isEmpty(), "ruleset not empty: not a private namespace");
    }

    void init() { QVERIFY(nft(QStringLiteral("flush ruleset")).succeeded()); }

    void presetsThenClear_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("nft run by KESTREL") << QStringLiteral("nft");
        QTest::newRow("through the helper") << QStringLiteral("helper");
    }

    // Every preset in turn, the last one twice, then clear: each replaces the table whole.
    void presetsThenClear()
    {
        QFETCH(QString, kind);
        FirewallController controller(backend(kind));
        controller.setQuestionHandler([](const QString &, const QString &) { return true; });
        QSignalSpy applied(&controller, &FirewallController::ruleApplied);
        for (const int index : {0, 1, 2, 3, 4, 4}) {
            const int windowFirst = 9101 + 100 * index, windowLast = windowFirst + 97;
            // Both edges of the open window and of the blocked ranges, and ports outside them.
            const QList<QPair<int, const char *>> probes = {{9000, "connected"}, {9001, "refused"},
                {windowFirst - 1, "refused"}, {windowFirst, "connected"}, {windowLast, "connected"},
                {windowLast + 1, "refused"}, {9999, "refused"}, {10000, "connected"}};
            for (const auto &probe : probes)
                QVERIFY2(listen(probe.first), qPrintable(QString::number(probe.first)));

            controller.onRangeClicked(index);
            controller.applyRule();
            QVERIFY(applied.wait(30000));
            QVERIFY(applied.takeFirst().at(0).toBool());
            for (const auto &probe : probes)
                QCOMPARE(QString::number(probe.first) + QLatin1Char(' ')
                        + connectTo(QHostAddress::LocalHost, probe.first),
                    QString::number(probe.first) + QLatin1Char(' ') + QLatin1String(probe.second));
            // What the helper reports is what the firewall holds, whichever way it got there.
            QCOMPARE(helper({QStringLiteral("status")}).standardOutput,
                "rule=present\nports=" + FirewallController::presets()[size_t(index)].ports.toUtf8() + '\n');
        }
        const QByteArray ruleset = nft(QStringLiteral("list ruleset")).standardOutput;
        QVERIFY(ruleset.count("table ") == 1 && ruleset.count("reject") == 1);

        QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
        controller.clearRule();
        QVERIFY(cleared.wait(30000));
        QCOMPARE(nft(QStringLiteral("list ruleset")).standardOutput.trimmed(), QByteArray());
        QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
        controller.clearRule(); // with nothing there: no error
        QVERIFY(cleared.wait(30000));
        QVERIFY(cleared.at(0).at(0).toBool() && cleared.at(1).at(0).toBool());
        QCOMPARE(helper({QStringLiteral("status")}).standardOutput, QByteArray("rule=absent\nports=\n"));
    }

    void handEditedTable_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("active"); // -1: the table blocks no TCP port
        const QByteArray head = "table inet RF4_Game_Ports {\n";
        const QByteArray chain = "chain output { type filter hook output priority filter; policy accept;\n";
        QTest::newRow("preset 3 through a named set") << head
                + "set blocked { type inet_service; flags interval; elements = { 9399-9999, 9001-9300 } }\n"
                + chain
                + "tcp dport @blocked reject\n}\n}\n" << 2;
        QTest::newRow("preset 2 in two rules")
            << head + chain + "tcp dport 9299-9999 drop\ntcp dport 9001-9200 drop\n}\n}\n"
            << 1;
        QTest::newRow("udp") << head + chain + "udp dport { 9001-9100, 9199-9999 } drop\n}\n}\n" << -1;
    }

    // A table changed by hand reads the same through both ways.
    void handEditedTable()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, active);
        const ProcessResult edit = nft(QStringLiteral("-f -"), script);
        QVERIFY2(edit.succeeded(), edit.standardError.constData());
        for (const QString &kind : {QStringLiteral("nft"), QStringLiteral("helper")}) {
            FirewallController controller(backend(kind));
            controller.detectActiveRange();
            QCOMPARE(controller.activeIndex(), active);
            QCOMPARE(controller.status().presentIcon, active >= 0); // else "ПРАВИЛО ЕСТЬ, НО НЕТ ПОРТОВ"
        }
    }

    void helperRefuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("nothing") << QStringList() << 2;
        for (const char *arg :
            {"9001-9100,9199-9999", "9001", "0", "6", "01", " 1", "1;", "clear; nft flush ruleset", ";",
                "/etc/nftables.conf", "../../bin/sh", "CLEAR", "", "--help"})
            QTest::newRow(arg) << QStringList {QString::fromUtf8(arg)} << 2;
        QTest::newRow("extra argument") << QStringList {QStringLiteral("1"), QStringLiteral("2")} << 2;
        QTest::newRow("status plus a script")
            << QStringList {QStringLiteral("status"), QStringLiteral("-f")} << 2;
        // Without the right nft refuses: a failure, never a made-up "absent".
        for (const char *command : {"status", "clear", "2"})
            QTest::addRow("%s without the right", command) << QStringList {QString::fromLatin1(command)} << 1;
    }

    // A refused or failed call says why, prints no data and leaves the rule as it was.
    void helperRefuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QVERIFY(helper({QStringLiteral("4")}).succeeded());
        const QByteArray before = nft(QStringLiteral("list ruleset")).standardOutput;

        const ProcessResult result = exitCode == 1
            ? SystemProcessRunner().run(QStringLiteral("setpriv"),
                QStringList {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                    QStringLiteral("--clear-groups"), helperPath()}
                    + args,
                10000)
            : helper(args);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.standardOutput, QByteArray());
        QVERIFY(!result.standardError.isEmpty());
        if (exitCode == 2)
            QVERIFY2(result.standardError.startsWith("kestrel-firewall-helper: ")
                    && result.standardError.contains("usage: kestrel-firewall-helper 1|2|3|4|5|clear|status"),
                result.standardError.constData());
        QCOMPARE(nft(QStringLiteral("list ruleset")).standardOutput, before);
    }

    // The password box dismissed (pkexec exits 126): apply and clear report failure, and
    // the rows show the rule the firewall still holds.
    void dismissedPasswordChangesNothing()
    {
        QTemporaryDir dir;
        QFile launcher(dir.filePath(QStringLiteral("pkexec")));
        QVERIFY(launcher.open(QIODevice::WriteOnly)
            && launcher.write(
                "#!/bin/sh\n[ \"$2\" = status ] && exec \"$@\"\necho 'Dismissed' >&2\nexit 126\n"));
        launcher.close();
        QVERIFY(launcher.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(helper({QStringLiteral("3")}).succeeded());

        FirewallController controller(
            std::make_unique<PkexecFirewallBackend>(helperPath(), launcher.fileName()));
        controller.setQuestionHandler([](const QString &, const QString &) { return true; });
        QSignalSpy applied(&controller, &FirewallController::ruleApplied);
        QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
        controller.onRangeClicked(0);
        controller.applyRule();
        QVERIFY(applied.wait(30000));
        controller.clearRule();
        QVERIFY(cleared.wait(30000));
        QVERIFY(!applied.at(0).at(0).toBool() && !cleared.at(0).at(0).toBool());
        QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
        QCOMPARE(controller.activeIndex(), 2);
    }

private:
    bool listen(int port)
    {
        std::unique_ptr<QTcpServer> &server = m_servers[port];
        if (!server) {
            server = std::make_unique<QTcpServer>();
            server->listen(QHostAddress::Any, quint16(port));
        }
        return server->isListening();
    }

    std::map<int, std::unique_ptr<QTcpServer>> m_servers;
};

int main(int argc, char *argv[])
{
    enterPrivateNetwork();
    QCoreApplication app(argc, argv);
    TestNftFirewall test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_nftfirewall.moc"
