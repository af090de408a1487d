// The Linux platform layer for real: fake game processes with real connections, Windows-style
// argv[0] as Wine sets it, SYN-SENT behind an nftables drop rule and adapters inside private network
// namespaces, privileges under another user, and termination by name.

#include "platform/platform.h"
#include "tools/toolprocess.h"

#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::TcpRow;
using Rows = std::vector<TcpRow>;

namespace {

const std::vector<std::string> kGameNames = {"rf4_x64.exe", "rf4.exe", "russian fishing 4"};
const QString kNobody = QStringLiteral("--reuid=65534 --regid=65534 --clear-groups ");

bool contains(const std::vector<uint32_t> &pids, quint32 pid)
{
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

const TcpRow *findRow(const Rows &rows, quint16 localPort, quint16 remotePort)
{
    const auto row = std::find_if(rows.begin(), rows.end(),
        [&](const TcpRow &r) { return r.localPort == localPort && r.remotePort == remotePort; });
    return row == rows.end() ? nullptr : &*row;
}

quint16 portOf(const QByteArray &line)
{
    return line.split(' ').last().toUShort();
}

QByteArray procFile(quint32 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList args(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString systemTool(const char *name)
{
    return QStandardPaths::findExecutable(
        QString::fromLatin1(name), args(QStringLiteral("/usr/sbin /sbin /usr/bin /bin")));
}

// Runs a command to completion: its output, or "FAILED" and its errors when it does not exit with 0.
QByteArray run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode())
        return "FAILED " + process.readAllStandardError();
    return process.readAllStandardOutput().trimmed();
}

// Moves the calling thread into a fresh network namespace for its lifetime; children started
// meanwhile are born in it.
class PrivateNetwork
{
public:
    PrivateNetwork() : m_home(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        entered = m_home >= 0 && ::unshare(CLONE_NEWNET) == 0;
    }
    ~PrivateNetwork()
    {
        if (entered && ::setns(m_home, CLONE_NEWNET) != 0)
            qFatal("cannot return to the test's network namespace");
        ::close(m_home);
    }
    bool entered = false;

private:
    int m_home;
};

} // namespace

class TestPlatformLinux : public QObject
{
    Q_OBJECT

    bool m_root = ::geteuid() == 0;

private slots:
    void cleanup() { platform::setDirectSocketReads(true); }

    // Both ways of reading the rows: from the game's own sockets, and from a dump of the whole table.
    void gameConnectionIsFound_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("sockets") << true;
        QTest::newRow("table dump") << false;
    }

    void gameConnectionIsFound()
    {
        QFETCH(bool, direct);
        platform::setDirectSocketReads(direct);
        ToolProcess server(
            QStringLiteral("fake_game_server"), args(QStringLiteral("127.0.0.2:9105 127.0.0.2:9106")));
        QVERIFY2(!server.waitForLine("READY").isEmpty(), server.allOutput().constData());
        ToolProcess game(QStringLiteral("rf4_x64.exe"), args(QStringLiteral("127.0.0.2 9105")));
        const QByteArray connected = game.waitForLine("CONNECTED");
        QVERIFY2(!connected.isEmpty(), game.allOutput().constData());

        const std::vector<uint32_t> pids = platform::processIdsMatching(kGameNames);
        QVERIFY(contains(pids, game.pid()));
        QVERIFY(!contains(pids, server.pid()));
        Rows rows;
        QVERIFY(platform::readTcpTable(rows, pids));
        const TcpRow *row = findRow(rows, portOf(connected), 9105);
        QVERIFY(row);
        QCOMPARE(row->pid, game.pid());
        QCOMPARE(row->state, uint32_t(platform::TcpEstablished));
        QCOMPARE(row->remoteAddr, 0x7F000002u);
        QCOMPARE(platform::ipv4ToString(row->remoteAddr), std::string("127.0.0.2"));
        // The server's end of the same connection belongs to a process that was not asked about.
        const TcpRow *serverSide = findRow(rows, 9105, portOf(connected));
        if (direct) {
            QVERIFY(!serverSide);
            QVERIFY(std::all_of(
                rows.begin(), rows.end(), [&](const TcpRow &r) { return contains(pids, r.pid); }));
        } else {
            QVERIFY(serverSide && serverSide->pid == 0);
        }
        // Without a pid list every owner is looked up.
        Rows allRows;
        QVERIFY(platform::readTcpTable(allRows));
        QVERIFY(findRow(allRows, 9105, portOf(connected)));
        QCOMPARE(findRow(allRows, 9105, portOf(connected))->pid, server.pid());
        const TcpRow first = *row;
        QVERIFY(platform::connectionExists(first));
        QVERIFY(platform::processAlive(game.pid()));

        // Moving to another port: the old connection is gone, the new one is found.
        game.send("move 9106");
        const QByteArray moved = game.waitForLine("CONNECTED");
        QVERIFY(!moved.isEmpty());
        QVERIFY(!platform::connectionExists(first));
        QVERIFY(platform::readTcpTable(rows, pids));
        row = findRow(rows, portOf(moved), 9106);
        QVERIFY(row && row->pid == game.pid() && row->state == platform::TcpEstablished);

        // The server ending the connection leaves the client in CLOSE-WAIT: no longer "established".
        const TcpRow second = *row;
        server.stop();
        QVERIFY(QTest::qWaitFor([&] { return !platform::connectionExists(second); }, 5000));
        game.send("quit");
        QVERIFY(game.waitForExit());
        QVERIFY(!platform::processAlive(game.pid()));
    }

    // argv[0] is chosen freely while the executable (and so the comm) is sleep.
    void processNames_data()
    {
        QTest::addColumn<QString>("argv0");
        QTest::addColumn<QString>("part");
        QTest::addColumn<bool>("found");
        // clang-format off
        QTest::newRow("Wine path") << "C:\\Games\\RF4\\rf4_x64.exe" << "rf4_x64.exe" << true;
        QTest::newRow("letter case") << "C:\\GAMES\\RF4_X64.EXE" << "rf4_x64.exe" << true;
        QTest::newRow("Unix path") << "/opt/rf4/bin/rf4.exe" << "rf4.exe" << true;
        QTest::newRow("longer than comm") << "D:\\Russian Fishing 4\\Russian Fishing 4.exe" << "russian fishing 4" << true;
        QTest::newRow("only the folder, Windows") << "C:\\rf4_x64.exe\\launcher.exe" << "rf4_x64.exe" << false;
        QTest::newRow("only the folder, Unix") << "/srv/rf4.exe/tool" << "rf4.exe" << false;
        // clang-format on
    }

    void processNames()
    {
        QFETCH(QString, argv0);
        QFETCH(QString, part);
        QFETCH(bool, found);
        ToolProcess process(QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"), QStringLiteral("exec -a \"$0\" sleep 600"), argv0});
        QVERIFY(QTest::qWaitFor([&] { return procFile(process.pid(), "comm") == "sleep\n"; }, 5000));
        const std::vector<uint32_t> pids = platform::processIdsMatching({"no_such_game", part.toStdString()});
        QCOMPARE(contains(pids, process.pid()), found);
    }

    void endedButUnreapedProcessIsGone()
    {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        QVERIFY(child > 0);
        const bool zombie = QTest::qWaitFor([&] { return procFile(child, "stat").contains(") Z "); }, 5000);
        const bool alive = platform::processAlive(uint32_t(child));
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
        const bool listed = contains(platform::processIdsMatching({self.toStdString()}), quint32(child));
        ::waitpid(child, nullptr, 0);
        QVERIFY(zombie && !alive && !listed);
        QVERIFY(platform::processAlive(uint32_t(::getpid())));
    }

    void connectionStates_data() { gameConnectionIsFound_data(); }

    void connectionStates()
    {
        QFETCH(bool, direct);
        platform::setDirectSocketReads(direct);
        const QString nft = systemTool("nft");
        const QString ip = systemTool("ip");
        if (!m_root || nft.isEmpty() || ip.isEmpty())
            QSKIP("needs root, nft and ip for a private network namespace");
        PrivateNetwork network;
        QVERIFY(network.entered);
        QCOMPARE(run(ip, args(QStringLiteral("link set lo up"))), QByteArray());
        // SYNs to 9107 vanish, so a connect there stays in SYN-SENT.
        QCOMPARE(run(nft, args(QStringLiteral("-f -")),
                     "table inet kestrel_test { chain out { type filter hook output priority 0; "
                     "tcp dport 9107 drop; }; }\n"),
            QByteArray());

        ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.1:9105")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        ToolProcess established(QStringLiteral("rf4_x64.exe"), args(QStringLiteral("127.0.0.1 9105")));
        const QByteArray connected = established.waitForLine("CONNECTED");
        QVERIFY(!connected.isEmpty());
        ToolProcess pending(QStringLiteral("rf4_x64.exe"), args(QStringLiteral("127.0.0.1 9107")));
        QVERIFY(!pending.waitForLine("CONNECTING").isEmpty());

        const std::vector<uint32_t> pids = platform::processIdsMatching(kGameNames);
        QVERIFY(contains(pids, established.pid()) && contains(pids, pending.pid()));
        const TcpRow *synSent = nullptr;
        Rows rows;
        QVERIFY(QTest::qWaitFor(
            [&] {
                platform::readTcpTable(rows, pids);
                synSent = nullptr;
                for (const TcpRow &row : rows) {
                    if (row.remotePort == 9107 && row.pid == pending.pid())
                        synSent = &row;
                }
                return synSent != nullptr;
            },
            5000));
        QCOMPARE(synSent->state, uint32_t(platform::TcpSynSent));
        QCOMPARE(synSent->remoteAddr, 0x7F000001u);
        const TcpRow *open = findRow(rows, portOf(connected), 9105);
        QVERIFY(open && open->state == platform::TcpEstablished && open->pid == established.pid());
        const TcpRow *listener = findRow(rows, 9105, 0);
        QVERIFY(direct || (listener && listener->state == platform::TcpListen));

        // The exact check compares the state too.
        QVERIFY(platform::connectionExists(*synSent));
        TcpRow asEstablished = *synSent;
        asEstablished.state = platform::TcpEstablished;
        QVERIFY(!platform::connectionExists(asEstablished));
        // A gone connection on a listening port must not be confused with the listener.
        TcpRow gone;
        gone.state = platform::TcpEstablished;
        gone.localAddr = gone.remoteAddr = 0x7F000001;
        gone.localPort = 9105;
        gone.remotePort = 1;
        QVERIFY(!platform::connectionExists(gone));
    }

    void adaptersInPrivateNamespace()
    {
        const QString unshare = systemTool("unshare");
        if (!m_root || unshare.isEmpty() || systemTool("ip").isEmpty())
            QSKIP("needs root, unshare and ip for private network and mount namespaces");
        // /sys/class/net shows the namespace sysfs was mounted in, hence a private mount of it.
        const QString script
            = QStringLiteral("set -e; mount -t sysfs sysfs /sys; ip link set lo up; "
                             "ip link add v0 type veth peer name v1; "
                             "ip link set v0 address 02:00:00:00:00:01; "
                             "ip link set v1 address 02:00:00:00:00:02; "
                             "ip addr add 10.1.2.3/24 dev v0; ip addr add 10.9.9.9/24 dev v0; "
                             "ip tuntap add t0 mode tun; ip addr add 10.7.0.1/24 dev t0; "
                             "exec \"$0\" adapters");
        // Interface index order: the veth peer is registered before v0.
        QCOMPARE(run(unshare,
                     args(QStringLiteral("-n -m sh -c"))
                         << script << ToolProcess::binPath(QStringLiteral("platform_probe"))),
            QByteArray("ADAPTER v1 Ethernet 6 02:00:00:00:00:02 -\n"
                       "ADAPTER v0 Ethernet 6 02:00:00:00:00:01 10.1.2.3\n"
                       "ADAPTER t0 Other 0 - 10.7.0.1"));
    }

    void privileges_data()
    {
        QTest::addColumn<QString>("dropTo");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("root") << QString() << QByteArray("elevated=1 admin=1");
        QTest::newRow("nobody") << kNobody + QStringLiteral("--inh-caps=-all")
                                << QByteArray("elevated=0 admin=0");
        QTest::newRow("nobody with CAP_NET_ADMIN")
            << kNobody + QStringLiteral("--inh-caps=+net_admin --ambient-caps=+net_admin")
            << QByteArray("elevated=1 admin=1");
    }

    void privileges()
    {
        QFETCH(QString, dropTo);
        QFETCH(QByteArray, expected);
        const QString setpriv = systemTool("setpriv");
        if (!m_root || setpriv.isEmpty())
            QSKIP("needs root and setpriv to start processes under other users");
        const QStringList probe {
            ToolProcess::binPath(QStringLiteral("platform_probe")), QStringLiteral("privileges")};
        QCOMPARE(dropTo.isEmpty() ? run(probe.first(), probe.mid(1)) : run(setpriv, args(dropTo) + probe),
            expected);
    }

    // A non-root install gets CAP_NET_ADMIN from a file capability (setcap +ep), which its children
    // (nft) would not inherit unless the program passes it on.
    void firewallRightReachesChildren()
    {
        const QString setpriv = systemTool("setpriv");
        const QString setcap = systemTool("setcap");
        if (!m_root || setpriv.isEmpty() || setcap.isEmpty())
            QSKIP("needs root, setpriv and setcap to set file capabilities and switch users");
        QTemporaryDir dir(
            QDir(qEnvironmentVariable("KESTREL_BIN_DIR")).filePath(QStringLiteral("capsXXXXXX")));
        QVERIFY(dir.isValid());
        QFile::setPermissions(
            dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
        const QString probe = dir.filePath(QStringLiteral("platform_probe"));
        QVERIFY(QFile::copy(ToolProcess::binPath(QStringLiteral("platform_probe")), probe));
        if (run(setcap, {QStringLiteral("cap_net_admin+ep"), probe}).startsWith("FAILED"))
            QSKIP("this file system does not keep file capabilities");
        QCOMPARE(run(setpriv,
                     args(kNobody + QStringLiteral("--inh-caps=-all")) << probe << QStringLiteral("pass-on")),
            QByteArray("passed=1\nelevated=1 admin=1"));
    }

    void terminateProgramAt()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("other")));
        const QString sleepPath
            = QFileInfo(QStandardPaths::findExecutable(QStringLiteral("sleep"))).canonicalFilePath();
        const QString victimPath = dir.filePath(QStringLiteral("kestrel_victim"));
        const QString bystanderPath = dir.filePath(QStringLiteral("other/kestrel_victim"));
        QVERIFY(QFile::copy(sleepPath, victimPath) && QFile::copy(sleepPath, bystanderPath));
        for (const QString &path : {victimPath, bystanderPath})
            QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner));

        // Two copies of the file, one of them deaf to SIGTERM; the same program in another folder stays.
        ToolProcess first(victimPath, {QStringLiteral("600")});
        ToolProcess stubborn(QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec \"$0\" 600"), victimPath});
        ToolProcess bystander(bystanderPath, {QStringLiteral("600")});
        const auto exe
            = [](qint64 pid) { return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(); };
        QVERIFY(QTest::qWaitFor([&] { return exe(stubborn.pid()) == victimPath; }, 5000));

        std::vector<uint32_t> ended;
        QCOMPARE(platform::terminateProgramAt(victimPath.toStdString(), &ended), 2);
        std::sort(ended.begin(), ended.end());
        std::vector<uint32_t> expected = {first.pid(), stubborn.pid()};
        std::sort(expected.begin(), expected.end());
        QVERIFY(ended == expected);
        QVERIFY(first.waitForExit() && stubborn.waitForExit());
        QCOMPARE(stubborn.process()->exitStatus(), QProcess::CrashExit);
        QCOMPARE(bystander.process()->state(), QProcess::Running);

        // Never the caller; a file that is not there ends nothing.
        QCOMPARE(platform::terminateProgramAt(QCoreApplication::applicationFilePath().toStdString()), 0);
        QCOMPARE(platform::terminateProgramAt(dir.filePath(QStringLiteral("gone")).toStdString()), 0);
    }
};

QTEST_GUILESS_MAIN(TestPlatformLinux)
#include "tst_platform_linux.moc"
