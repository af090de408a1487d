// The Linux platform layer for real: fake game processes with real connections, Windows-style
// argv[0] as Wine sets it, SYN-SENT behind an nftables drop rule and adapters inside private network
// namespaces, privileges under another user, and termination by name.

#include "platform/platform.h"
#include "tools/toolprocess.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::vector<std::string> kGameNames = {"rf4_x64.exe", "rf4.exe", "russian fishing 4"};
constexpr uint32_t kLoopback2 = 0x7F000002; // 127.0.0.2

bool contains(const std::vector<uint32_t> &pids, quint32 pid)
{
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

const platform::TcpRow *findRow(
    const std::vector<platform::TcpRow> &rows, quint16 localPort, quint16 remotePort)
{
    const auto row = std::find_if(rows.begin(), rows.end(),
        [&](const platform::TcpRow &r) { return r.localPort == localPort && r.remotePort == remotePort; });
    return row == rows.end() ? nullptr : &*row;
}

quint16 portOf(const QByteArray &line)
{
    return line.split(' ').last().toUShort();
}

QString systemTool(const QString &name)
{
    return QStandardPaths::findExecutable(name,
        {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
            QStringLiteral("/bin")});
}

// Runs a command to completion; true when it exits with 0.
bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return false;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        return false;
    if (process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Moves the calling thread into a fresh network namespace for its lifetime; children started
// meanwhile are born in it.
class PrivateNetwork
{
public:
    PrivateNetwork() : m_home(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        m_entered = m_home >= 0 && ::unshare(CLONE_NEWNET) == 0;
    }
    ~PrivateNetwork()
    {
        if (m_entered && ::setns(m_home, CLONE_NEWNET) != 0)
            qFatal("cannot return to the test's network namespace");
        if (m_home >= 0)
            ::close(m_home);
    }
    PrivateNetwork(const PrivateNetwork &) = delete;
    PrivateNetwork &operator=(const PrivateNetwork &) = delete;
    bool entered() const { return m_entered; }

private:
    int m_home;
    bool m_entered = false;
};

// A process whose argv[0] is chosen freely, while its executable (and so its comm) is sleep.
QStringList sleepAs(const QString &argv0)
{
    return {QStringLiteral("-c"), QStringLiteral("exec -a \"$0\" sleep 600"), argv0};
}

} // namespace

class TestPlatformLinux : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void gameConnectionIsFound_data();
    void gameConnectionIsFound();
    void processNames_data();
    void processNames();
    void endedButUnreapedProcessIsGone();
    void connectionStates_data();
    void connectionStates();
    void adaptersInPrivateNamespace();
    void privileges_data();
    void privileges();
    void firewallRightReachesChildren();
    void terminateByName();

private:
    bool m_root = false;
};

void TestPlatformLinux::initTestCase()
{
    m_root = ::geteuid() == 0;
    for (const char *tool : {"fake_game_server", "rf4_x64.exe", "platform_probe"})
        QVERIFY2(QFileInfo(ToolProcess::binPath(QString::fromLatin1(tool))).isExecutable(), tool);
}

void TestPlatformLinux::cleanup()
{
    platform::setDirectSocketReads(true);
}

// Both ways of reading the rows: from the game's own sockets, and from a dump of the whole table.
void TestPlatformLinux::gameConnectionIsFound_data()
{
    QTest::addColumn<bool>("direct");
    QTest::newRow("sockets") << true;
    QTest::newRow("table dump") << false;
}

void TestPlatformLinux::gameConnectionIsFound()
{
    QFETCH(bool, direct);
    platform::setDirectSocketReads(direct);
    ToolProcess server(QStringLiteral("fake_game_server"),
        {QStringLiteral("127.0.0.2:9105"), QStringLiteral("127.0.0.2:9106")});
    QVERIFY2(!server.waitForLine("READY").isEmpty(), server.allOutput().constData());
    ToolProcess game(QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.2"), QStringLiteral("9105")});
    const QByteArray connected = game.waitForLine("CONNECTED");
    QVERIFY2(!connected.isEmpty(), game.allOutput().constData());

    const std::vector<uint32_t> pids = platform::processIdsMatching(kGameNames);
    QVERIFY(contains(pids, game.pid()));
    QVERIFY(!contains(pids, server.pid()));

    std::vector<platform::TcpRow> rows;
    QVERIFY(platform::readTcpTable(rows, pids));
    const platform::TcpRow *row = findRow(rows, portOf(connected), 9105);
    QVERIFY(row);
    QCOMPARE(row->pid, game.pid());
    QCOMPARE(row->state, uint32_t(platform::TcpEstablished));
    QCOMPARE(row->remoteAddr, kLoopback2);
    QCOMPARE(platform::ipv4ToString(row->remoteAddr), std::string("127.0.0.2"));
    // The server's end of the same connection belongs to a process that was not asked about.
    const platform::TcpRow *serverSide = findRow(rows, 9105, portOf(connected));
    if (direct) {
        QVERIFY(!serverSide);
        QVERIFY(std::all_of(
            rows.begin(), rows.end(), [&](const platform::TcpRow &r) { return contains(pids, r.pid); }));
    } else {
        QVERIFY(serverSide);
        QCOMPARE(serverSide->pid, 0u);
    }
    // Without a pid list every owner is looked up.
    std::vector<platform::TcpRow> allRows;
    QVERIFY(platform::readTcpTable(allRows));
    QVERIFY(findRow(allRows, 9105, portOf(connected)));
    QCOMPARE(findRow(allRows, 9105, portOf(connected))->pid, server.pid());

    const platform::TcpRow first = *row;
    QVERIFY(platform::connectionExists(first));
    QVERIFY(platform::processAlive(game.pid()));

    // Moving to another port: the old connection is gone, the new one is found.
    game.send("move 9106");
    const QByteArray moved = game.waitForLine("CONNECTED");
    QVERIFY(!moved.isEmpty());
    QVERIFY(!platform::connectionExists(first));
    QVERIFY(platform::readTcpTable(rows, pids));
    row = findRow(rows, portOf(moved), 9106);
    QVERIFY(row);
    QCOMPARE(row->pid, game.pid());
    QCOMPARE(row->state, uint32_t(platform::TcpEstablished));

    // The server ending the connection leaves the client in CLOSE-WAIT: no longer "established".
    const platform::TcpRow second = *row;
    server.stop();
    QVERIFY(QTest::qWaitFor([&] { return !platform::connectionExists(second); }, 5000));

    game.send("quit");
    QVERIFY(game.waitForExit());
    QVERIFY(!platform::processAlive(game.pid()));
}

void TestPlatformLinux::processNames_data()
{
    QTest::addColumn<QString>("argv0");
    QTest::addColumn<QString>("part");
    QTest::addColumn<bool>("found");
    QTest::newRow("Wine path") << QStringLiteral("C:\\Games\\RF4\\rf4_x64.exe")
                               << QStringLiteral("rf4_x64.exe") << true;
    QTest::newRow("letter case") << QStringLiteral("C:\\GAMES\\RF4_X64.EXE") << QStringLiteral("rf4_x64.exe")
                                 << true;
    QTest::newRow("Unix path") << QStringLiteral("/opt/rf4/bin/rf4.exe") << QStringLiteral("rf4.exe") << true;
    QTest::newRow("longer than comm") << QStringLiteral("D:\\Russian Fishing 4\\Russian Fishing 4.exe")
                                      << QStringLiteral("russian fishing 4") << true;
    QTest::newRow("only the folder, Windows")
        << QStringLiteral("C:\\rf4_x64.exe\\launcher.exe") << QStringLiteral("rf4_x64.exe") << false;
    QTest::newRow("only the folder, Unix")
        << QStringLiteral("/srv/rf4.exe/tool") << QStringLiteral("rf4.exe") << false;
}

void TestPlatformLinux::processNames()
{
    QFETCH(QString, argv0);
    QFETCH(QString, part);
    QFETCH(bool, found);
    ToolProcess process(QStringLiteral("/bin/bash"), sleepAs(argv0));
    const QString comm = QStringLiteral("/proc/%1/comm").arg(process.pid());
    QVERIFY(QTest::qWaitFor(
        [&] {
            QFile file(comm);
            return file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "sleep";
        },
        5000));
    const std::vector<uint32_t> pids = platform::processIdsMatching({"no_such_game", part.toStdString()});
    QCOMPARE(contains(pids, process.pid()), found);
}

void TestPlatformLinux::endedButUnreapedProcessIsGone()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    QVERIFY(child > 0);
    const QString stat = QStringLiteral("/proc/%1/stat").arg(child);
    const bool zombie = QTest::qWaitFor(
        [&] {
            QFile file(stat);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(") Z ");
        },
        5000);
    const bool alive = platform::processAlive(static_cast<uint32_t>(child));
    const std::string name
        = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15).toStdString();
    const bool listed = contains(platform::processIdsMatching({name}), static_cast<quint32>(child));
    ::waitpid(child, nullptr, 0);
    QVERIFY(zombie);
    QVERIFY(!alive);
    QVERIFY(!listed);
    QVERIFY(platform::processAlive(static_cast<uint32_t>(::getpid())));
}

void TestPlatformLinux::connectionStates_data()
{
    gameConnectionIsFound_data();
}

void TestPlatformLinux::connectionStates()
{
    QFETCH(bool, direct);
    platform::setDirectSocketReads(direct);
    if (!m_root)
        QSKIP("needs root for a private network namespace");
    const QString nft = systemTool(QStringLiteral("nft"));
    const QString ip = systemTool(QStringLiteral("ip"));
    if (nft.isEmpty() || ip.isEmpty())
        QSKIP("nft or ip is not installed");

    PrivateNetwork network;
    QVERIFY(network.entered());
    QVERIFY(
        run(ip, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")}));
    // SYNs to 9107 vanish, so a connect there stays in SYN-SENT.
    QVERIFY(run(nft, {QStringLiteral("-f"), QStringLiteral("-")},
        "table inet kestrel_test {\n"
        "  chain out { type filter hook output priority 0; tcp dport 9107 drop; }\n"
        "}\n"));

    ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.1:9105")});
    QVERIFY(!server.waitForLine("READY").isEmpty());
    ToolProcess established(
        QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.1"), QStringLiteral("9105")});
    const QByteArray connected = established.waitForLine("CONNECTED");
    QVERIFY(!connected.isEmpty());
    ToolProcess pending(QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.1"), QStringLiteral("9107")});
    QVERIFY(!pending.waitForLine("CONNECTING").isEmpty());

    const std::vector<uint32_t> pids = platform::processIdsMatching(kGameNames);
    QVERIFY(contains(pids, established.pid()) && contains(pids, pending.pid()));
    const platform::TcpRow *synSent = nullptr;
    std::vector<platform::TcpRow> rows;
    QVERIFY(QTest::qWaitFor(
        [&] {
            platform::readTcpTable(rows, pids);
            synSent = nullptr;
            for (const platform::TcpRow &row : rows) {
                if (row.remotePort == 9107 && row.pid == pending.pid())
                    synSent = &row;
            }
            return synSent != nullptr;
        },
        5000));
    QCOMPARE(synSent->state, uint32_t(platform::TcpSynSent));
    QCOMPARE(synSent->remoteAddr, 0x7F000001u);
    const platform::TcpRow *open = findRow(rows, portOf(connected), 9105);
    QVERIFY(open);
    QCOMPARE(open->state, uint32_t(platform::TcpEstablished));
    QCOMPARE(open->pid, established.pid());
    const platform::TcpRow *listener = findRow(rows, 9105, 0);
    if (!direct) {
        QVERIFY(listener);
        QCOMPARE(listener->state, uint32_t(platform::TcpListen));
    }

    // The exact check compares the state too.
    QVERIFY(platform::connectionExists(*synSent));
    platform::TcpRow asEstablished = *synSent;
    asEstablished.state = platform::TcpEstablished;
    QVERIFY(!platform::connectionExists(asEstablished));
    // A gone connection on a listening port must not be confused with the listener.
    platform::TcpRow gone;
    gone.state = platform::TcpEstablished;
    gone.localAddr = gone.remoteAddr = 0x7F000001;
    gone.localPort = 9105;
    gone.remotePort = 1;
    QVERIFY(!platform::connectionExists(gone));
}

void TestPlatformLinux::adaptersInPrivateNamespace()
{
    if (!m_root)
        QSKIP("needs root for private network and mount namespaces");
    const QString unshare = systemTool(QStringLiteral("unshare"));
    if (unshare.isEmpty() || systemTool(QStringLiteral("ip")).isEmpty())
        QSKIP("unshare or ip is not installed");

    // /sys/class/net shows the namespace sysfs was mounted in, hence a private mount of it.
    const QString script = QStringLiteral("set -e\n"
                                          "mount -t sysfs sysfs /sys\n"
                                          "ip link set lo up\n"
                                          "ip link add v0 type veth peer name v1\n"
                                          "ip link set v0 address 02:00:00:00:00:01\n"
                                          "ip link set v1 address 02:00:00:00:00:02\n"
                                          "ip addr add 10.1.2.3/24 dev v0\n"
                                          "ip addr add 10.9.9.9/24 dev v0\n"
                                          "ip tuntap add t0 mode tun\n"
                                          "ip addr add 10.7.0.1/24 dev t0\n"
                                          "exec \"$0\" adapters\n");
    QProcess probe;
    probe.start(unshare,
        {QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script,
            ToolProcess::binPath(QStringLiteral("platform_probe"))});
    QVERIFY(probe.waitForFinished(30000));
    QVERIFY2(probe.exitCode() == 0, probe.readAllStandardError().constData());
    const QByteArrayList lines = probe.readAllStandardOutput().trimmed().split('\n');
    // Interface index order: the veth peer is registered before v0.
    QCOMPARE(lines,
        QByteArrayList({"ADAPTER v1 Ethernet 6 02:00:00:00:00:02 -",
            "ADAPTER v0 Ethernet 6 02:00:00:00:00:01 10.1.2.3", "ADAPTER t0 Other 0 - 10.7.0.1"}));
}

void TestPlatformLinux::privileges_data()
{
    QTest::addColumn<QStringList>("dropTo");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("root") << QStringList() << QByteArray("elevated=1 admin=1");
    const QStringList nobody = {
        QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
    QTest::newRow("nobody") << (nobody + QStringList {QStringLiteral("--inh-caps=-all")})
                            << QByteArray("elevated=0 admin=0");
    QTest::newRow("nobody with CAP_NET_ADMIN") << (nobody
        + QStringList {QStringLiteral("--inh-caps=+net_admin"), QStringLiteral("--ambient-caps=+net_admin")})
                                               << QByteArray("elevated=1 admin=1");
}

void TestPlatformLinux::privileges()
{
    QFETCH(QStringList, dropTo);
    QFETCH(QByteArray, expected);
    if (!m_root)
        QSKIP("needs root to start processes under other users");
    const QString setpriv = systemTool(QStringLiteral("setpriv"));
    if (!dropTo.isEmpty() && setpriv.isEmpty())
        QSKIP("setpriv is not installed");
    const QString probePath = ToolProcess::binPath(QStringLiteral("platform_probe"));
    QProcess probe;
    if (dropTo.isEmpty())
        probe.start(probePath, {QStringLiteral("privileges")});
    else
        probe.start(setpriv, dropTo + QStringList {probePath, QStringLiteral("privileges")});
    QVERIFY(probe.waitForFinished(10000));
    QVERIFY2(probe.exitCode() == 0, probe.readAllStandardError().constData());
    QCOMPARE(probe.readAllStandardOutput().trimmed(), expected);
}

void TestPlatformLinux::firewallRightReachesChildren()
{
    // A non-root install gets CAP_NET_ADMIN from a file capability (setcap +ep), which
    // its children (nft) would not inherit unless the program passes it on.
    if (!m_root)
        QSKIP("needs root to set file capabilities and switch users");
    const QString setpriv = systemTool(QStringLiteral("setpriv"));
    const QString setcap = systemTool(QStringLiteral("setcap"));
    if (setpriv.isEmpty() || setcap.isEmpty())
        QSKIP("setpriv or setcap is not installed");
    QTemporaryDir dir(QDir(qEnvironmentVariable("KESTREL_BIN_DIR")).filePath(QStringLiteral("capsXXXXXX")));
    QVERIFY(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
    const QString probe = dir.filePath(QStringLiteral("platform_probe"));
    QVERIFY(QFile::copy(ToolProcess::binPath(QStringLiteral("platform_probe")), probe));
    QProcess grant;
    grant.start(setcap, {QStringLiteral("cap_net_admin+ep"), probe});
    QVERIFY(grant.waitForFinished(10000));
    if (grant.exitCode() != 0)
        QSKIP("this file system does not keep file capabilities");

    QProcess run;
    run.start(setpriv,
        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
            QStringLiteral("--inh-caps=-all"), probe, QStringLiteral("pass-on")});
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.readAllStandardOutput().trimmed(), QByteArray("passed=1\nelevated=1 admin=1"));
}

void TestPlatformLinux::terminateByName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sleepPath = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(!sleepPath.isEmpty());
    const QString victimPath = dir.filePath(QStringLiteral("kestrel_victim.exe"));
    const QString bystanderPath = dir.filePath(QStringLiteral("kestrel_victim.exe.old"));
    QVERIFY(QFile::link(sleepPath, victimPath));
    QVERIFY(QFile::link(sleepPath, bystanderPath));

    // Two copies found by their comm, one by a Windows argv[0] that also ignores SIGTERM.
    ToolProcess first(victimPath, {QStringLiteral("600")});
    ToolProcess second(victimPath, {QStringLiteral("600")});
    ToolProcess stubborn(QStringLiteral("/bin/bash"),
        {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec -a \"$0\" sleep 600"),
            QStringLiteral("C:\\Program Files\\Kestrel_Victim.exe")});
    ToolProcess bystander(bystanderPath, {QStringLiteral("600")});
    QVERIFY(QTest::qWaitFor(
        [&] {
            QFile file(QStringLiteral("/proc/%1/cmdline").arg(stubborn.pid()));
            return file.open(QIODevice::ReadOnly) && file.readAll().startsWith("C:\\");
        },
        5000));

    std::vector<uint32_t> ended;
    QCOMPARE(platform::terminateProcessesNamed("KESTREL_VICTIM.EXE", &ended), 3);
    std::sort(ended.begin(), ended.end());
    std::vector<uint32_t> expected = {first.pid(), second.pid(), stubborn.pid()};
    std::sort(expected.begin(), expected.end());
    QVERIFY(ended == expected);
    QVERIFY(first.waitForExit());
    QVERIFY(second.waitForExit());
    QVERIFY(stubborn.waitForExit());
    QCOMPARE(stubborn.process()->exitStatus(), QProcess::CrashExit);
    QCOMPARE(bystander.process()->state(), QProcess::Running);

    // Never the caller, whatever its name.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QCOMPARE(platform::terminateProcessesNamed(self.toStdString()), 0);
    QCOMPARE(platform::terminateProcessesNamed(""), 0);
}

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "tst_platform_linux.moc"
