// CPU that the open ping graph costs in the real KESTREL while the player is fishing: the game
// is connected (discovery and the once-a-second ping run) and the timeline holds a full hour (a
// recorded one, loaded through KESTREL_TEST_PING_RECORDING), shown in the 60-minute view, the one
// that draws the most.
//
// Usage (needs an X display; run.sh wraps it in xvfb-run): bench_graph_idle [--seconds N] [--warmup N]
//   Runs of N seconds (default 30) in one KESTREL, each after W seconds of settling (default 10):
//     shown                    the main window alone: the reference, as bench_ui_idle measures it;
//     shown + graph            after Ctrl+G, the graph beside the main window;
//     put away + graph         after Ctrl+W put the main window away (mini HUD off), the graph open;
//     put away                 after Escape closed the graph.
//   Figure: CPU time (user + system, /proc/PID/stat) of the KESTREL process per second of wall
//   time, as % of one core, and the X server's beside it. The main window's own drawing varies by
//   more than the graph costs, so the graph's cost is read from the last two runs, where nothing
//   else draws; the first two give it beside the reference. Goal: the graph adds < 1 % of a core.
// bench_graph_idle --write-recording FILE writes the recorded hour and ends (to look at the graph).

#include "tools/toolprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const QString kServerAddress = QStringLiteral("127.0.0.78");
constexpr quint16 kFirstGamePort = 9780;

struct Failure
{
    QString what;
    QByteArray details;
};

[[noreturn]] void fail(const QString &what, const QByteArray &details = {})
{
    throw Failure {what, details};
}

// An hour of a plausible evening: a steady server, a stretch of spikes, short bursts of loss,
// a lost connection of 40 s, then a move to another server 20 minutes ago.
QByteArray recordedHour()
{
    QRandomGenerator random(20250301);
    QByteArray out = "# seconds-before-now ping\n3600 server 5.9.101.12:9105\n";
    for (int ago = 3599; ago >= 1; --ago) {
        if (ago == 1200)
            out += "1200.5 server 5.9.101.40:9142\n";
        if (ago <= 1040 && ago > 1000)
            continue; // the connection was gone
        int ping = (ago > 1200 ? 44 : 31) + int(random.bounded(9)) - 4;
        if (ago <= 2400 && ago > 2220)
            ping += int(random.bounded(150));
        if ((ago <= 2900 && ago > 2896) || (ago <= 610 && ago > 604) || random.bounded(400) == 0)
            ping = 999;
        out += QByteArray::number(ago) + ' ' + QByteArray::number(ping) + '\n';
    }
    return out;
}

qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13 ? -1 : fields.at(11).toLongLong() + fields.at(12).toLongLong();
}

qint64 xServerPid()
{
    const QByteArray display = qgetenv("DISPLAY");
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (!args.isEmpty() && args.first().endsWith("Xvfb") && args.contains(display))
            return entry.toLongLong();
    }
    return 0;
}

struct Usage
{
    double app = 0; // % of one core
    double xServer = -1;
};

Usage measure(qint64 pid, qint64 xPid, int seconds)
{
    const double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    const qint64 appBefore = cpuTicks(pid);
    const qint64 xBefore = xPid ? cpuTicks(xPid) : -1;
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000); // keeps reading KESTREL's log so its pipe never blocks it
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const qint64 appAfter = cpuTicks(pid);
    const qint64 xAfter = xPid ? cpuTicks(xPid) : -1;
    if (appBefore < 0 || appAfter < 0)
        fail(QStringLiteral("KESTREL ended during the measurement"));
    Usage usage;
    usage.app = 100.0 * double(appAfter - appBefore) / ticksPerSecond / elapsed;
    if (xBefore >= 0 && xAfter >= 0)
        usage.xServer = 100.0 * double(xAfter - xBefore) / ticksPerSecond / elapsed;
    return usage;
}

QByteArray xdotool(const QStringList &arguments, bool mustSucceed = true)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    const bool ok = process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!ok && mustSucceed)
        fail(QStringLiteral("xdotool %1 failed").arg(arguments.join(QLatin1Char(' '))),
            process.readAllStandardError());
    return process.readAllStandardOutput();
}

QStringList visibleWindows(qint64 pid)
{
    const QByteArray out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--pid"), QString::number(pid)},
        false);
    return QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void keyInto(const QString &window, const QString &keys)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void printRow(const char *name, const Usage &usage)
{
    std::printf("%-18s KESTREL %6.2f %%   X server %s\n", name, usage.app,
        usage.xServer < 0 ? "   n/a" : qPrintable(QString::asprintf("%6.2f %%", usage.xServer)));
    std::fflush(stdout);
}

int run(int seconds, int warmup)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        fail(QStringLiteral("needs an X display (run bench/graph_idle/run.sh, which starts Xvfb)"));
    if (qEnvironmentVariableIsEmpty("KESTREL_BIN_DIR"))
        qputenv("KESTREL_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());
    xdotool({QStringLiteral("version")});

    ToolProcess server;
    quint16 port = 0;
    for (quint16 candidate = kFirstGamePort; candidate < kFirstGamePort + 50 && port == 0; ++candidate) {
        server.start(QStringLiteral("fake_game_server"),
            {kServerAddress + QLatin1Char(':') + QString::number(candidate)});
        if (!server.waitForLine("READY").isEmpty())
            port = candidate;
    }
    if (port == 0)
        fail(QStringLiteral("fake_game_server found no free port"), server.allOutput());
    ToolProcess game(QStringLiteral("rf4_x64.exe"), {kServerAddress, QString::number(port)});
    if (game.waitForLine("CONNECTED").isEmpty())
        fail(QStringLiteral("the fake game did not connect"), game.allOutput());

    QTemporaryDir root;
    const QString programDir = root.filePath(QStringLiteral("program"));
    const QString home = root.filePath(QStringLiteral("home"));
    for (const QString &dir : QStringList {programDir, home + QStringLiteral("/.config/TORVAL"),
             home + QStringLiteral("/run"), home + QStringLiteral("/tmp")}) {
        if (!QDir().mkpath(dir))
            fail(QStringLiteral("cannot create ") + dir);
    }
    QFile::setPermissions(
        home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString program = programDir + QStringLiteral("/KESTREL");
    QFile settings(home + QStringLiteral("/.config/TORVAL/KESTREL.conf"));
    QFile recording(root.filePath(QStringLiteral("hour.txt")));
    if (!QFile::copy(ToolProcess::binPath(QStringLiteral("KESTREL")), program)
        || !settings.open(QIODevice::WriteOnly) || !recording.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot prepare the program folder"));
    // The graph stands beside the main window (centred on a 2560 x 1440 screen), not over it.
    settings.write("[General]\nsafetyAccepted=true\nchatUserName=Bench\nminiOverlayEnabled=false\n"
                   "[pingGraph]\nspanMinutes=60\npos=@Point(20 20)\n");
    settings.close();
    recording.write(recordedHour());
    recording.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("KESTREL_SERVICE_URL"), QStringLiteral("http://127.0.0.1:9/"));
    env.insert(QStringLiteral("KESTREL_GEO_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("KESTREL_TEST_PING_RECORDING"), recording.fileName());
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.*=false"));
    ToolProcess kestrel;
    if (!kestrel.start(program, {}, env, true)
        || kestrel.waitForLine("[STARTUP] Main window shown", 20000).isEmpty())
        fail(QStringLiteral("the main window was not shown"), kestrel.allOutput());
    const QByteArray loaded = kestrel.lineStartingWith("[GRAPH] Recording");
    if (loaded.contains("NOT loaded") || !loaded.contains("loaded:"))
        fail(QStringLiteral("the recorded hour was not loaded"), kestrel.allOutput());
    if (kestrel.waitForLine("[MONITOR] Game server", 10000).isEmpty())
        fail(QStringLiteral("the fake game was not found"), kestrel.allOutput());
    const qint64 xPid = xServerPid();
    const QStringList before = visibleWindows(kestrel.pid());
    if (before.size() != 1)
        fail(QStringLiteral("expected the main window alone on screen"));

    std::printf("KESTREL with the game connected (%s:%u) and a recorded hour, 60-minute view; "
                "%d s per run after %d s of settling\n",
        qPrintable(kServerAddress), port, seconds, warmup);
    QTest::qWait(warmup * 1000);
    const Usage shown = measure(kestrel.pid(), xPid, seconds);
    printRow("shown", shown);

    keyInto(before.first(), QStringLiteral("ctrl+g"));
    if (!QTest::qWaitFor([&] { return visibleWindows(kestrel.pid()).size() == 2; }, 5000))
        fail(QStringLiteral("Ctrl+G did not open the graph"));
    QTest::qWait(warmup * 1000);
    const Usage graph = measure(kestrel.pid(), xPid, seconds);
    printRow("shown + graph", graph);

    QString graphWindow;
    for (const QString &id : visibleWindows(kestrel.pid())) {
        if (id != before.first())
            graphWindow = id;
    }
    // Without a tray and a window manager the main window is minimised but stays mapped; it
    // stops drawing all the same, which the figures show.
    keyInto(before.first(), QStringLiteral("ctrl+w"));
    QTest::qWait(1000);
    if (!visibleWindows(kestrel.pid()).contains(graphWindow))
        fail(QStringLiteral("the graph went away with the main window"));
    QTest::qWait(warmup * 1000);
    const Usage awayGraph = measure(kestrel.pid(), xPid, seconds);
    printRow("put away + graph", awayGraph);

    keyInto(graphWindow, QStringLiteral("Escape"));
    if (!QTest::qWaitFor([&] { return !visibleWindows(kestrel.pid()).contains(graphWindow); }, 5000))
        fail(QStringLiteral("Escape did not close the graph"));
    QTest::qWait(warmup * 1000);
    const Usage away = measure(kestrel.pid(), xPid, seconds);
    printRow("put away", away);

    const double added = awayGraph.app - away.app;
    std::printf(
        "the graph adds %.2f %% of a core (goal < 1 %%: %s), X server %+.2f %%; beside the shown window "
        "%+.2f %% against the reference %.2f %%\n",
        added, added < 1.0 ? "met" : "MISSED", awayGraph.xServer - away.xServer, graph.app - shown.app,
        shown.app);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int seconds = 30;
    int warmup = 10;
    for (int i = 1; i < args.size(); ++i) {
        bool ok = i + 1 < args.size();
        if (ok && args.at(i) == QLatin1String("--write-recording")) {
            QFile file(args.at(i + 1));
            if (!file.open(QIODevice::WriteOnly) || file.write(recordedHour()) < 0)
                return 1;
            return 0;
        }
        if (ok && args.at(i) == QLatin1String("--seconds"))
            seconds = args.at(++i).toInt(&ok);
        else if (ok && args.at(i) == QLatin1String("--warmup"))
            warmup = args.at(++i).toInt(&ok);
        else
            ok = false;
        if (!ok || seconds < 1 || warmup < 0) {
            std::fprintf(
                stderr, "usage: bench_graph_idle [--seconds N] [--warmup N] | --write-recording FILE\n");
            return 2;
        }
    }
    try {
        return run(seconds, warmup);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_graph_idle: %s\n", qPrintable(failure.what));
        if (!failure.details.isEmpty())
            std::fprintf(stderr, "%s\n", failure.details.right(4000).constData());
        return 1;
    }
}
