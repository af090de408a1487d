// CPU that the real KESTREL window costs while the player is fishing: the game is connected
// (discovery and the once-a-second ping run), the window is shown, then put away with Ctrl+W.
//
// Usage (needs an X display; run.sh wraps it in xvfb-run): bench_ui_idle [--seconds N] [--warmup N]
//   Three runs of N seconds each (default 30), the first two in one program folder and profile,
//   the third in a fresh one:
//     shown            the main window on screen, after its first W seconds (default 10, which
//                      covers the opening brightness sweep; those are reported on their own);
//     minimised        then Ctrl+W with the mini HUD switched off (no tray under Xvfb: the
//                      window is minimised), W seconds later;
//     hidden + HUD     Ctrl+W with the mini HUD on (the window hides, the HUD shows).
//   Figure: CPU time (the threads' schedstat, in nanoseconds) of the KESTREL process per second
//   of wall time, as % of one core; beside it the X server's, which does the drawing KESTREL
//   asks for. Reference measured in the same run: the shown figure, against which the others
//   are given as a ratio. Goals: shown < 3 %, minimised < 0.1 %, hidden behind the HUD < 0.3 %.
//   Exit code 1 when KESTREL does not start, does not find a game, or cannot be driven.

#include "tools/toolprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kServerAddress = QStringLiteral("127.0.0.77");
// % of one core.
constexpr double kShownGoal = 3.0;
constexpr double kMinimisedGoal = 0.1;
constexpr double kHiddenGoal = 0.3;
constexpr quint16 kFirstGamePort = 9750;

struct Options
{
    int seconds = 30;
    int warmup = 10; // covers the window's 8 s opening brightness sweep
};

struct Failure
{
    QString what;
    QByteArray details;
};

// Thrown rather than exiting so that the children (KESTREL, the fake game) are ended on the way out.
[[noreturn]] void fail(const QString &what, const QByteArray &details = {})
{
    throw Failure {what, details};
}

// CPU time of every thread of a process, in nanoseconds by thread id (the first field of
// schedstat; /proc/PID/stat counts in 10 ms ticks, too coarse for figures under 0.1 %).
// Empty when the process is gone.
QHash<qint64, qint64> cpuNanos(qint64 pid)
{
    QHash<qint64, qint64> threads;
    const QStringList tids
        = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        QFile stat(QStringLiteral("/proc/%1/task/%2/schedstat").arg(pid).arg(tid));
        if (stat.open(QIODevice::ReadOnly))
            threads.insert(tid.toLongLong(), stat.readAll().split(' ').value(0).toLongLong());
    }
    return threads;
}

// What the threads alive at the end ran since the start (a thread that ended in between is
// not counted: Qt's idle pool threads end so, having done nothing).
qint64 nanosBetween(const QHash<qint64, qint64> &before, const QHash<qint64, qint64> &after)
{
    qint64 total = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        total += it.value() - before.value(it.key(), 0);
    return total;
}

// The Xvfb serving $DISPLAY, when this machine runs it; 0 for any other X server.
qint64 xServerPid()
{
    const QByteArray display = qgetenv("DISPLAY");
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (!args.isEmpty() && args.first().endsWith("Xvfb") && args.contains(display))
            return pid;
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
    const QHash<qint64, qint64> appBefore = cpuNanos(pid);
    const QHash<qint64, qint64> xBefore = xPid ? cpuNanos(xPid) : QHash<qint64, qint64>();
    QElapsedTimer wall;
    wall.start();
    // Events are processed meanwhile so that KESTREL's log pipe never fills and blocks it.
    QTest::qWait(seconds * 1000);
    const double elapsed = static_cast<double>(wall.nsecsElapsed());
    const QHash<qint64, qint64> appAfter = cpuNanos(pid);
    const QHash<qint64, qint64> xAfter = xPid ? cpuNanos(xPid) : QHash<qint64, qint64>();
    if (appBefore.isEmpty() || appAfter.isEmpty())
        fail(QStringLiteral("KESTREL ended during the measurement"));
    Usage usage;
    usage.app = 100.0 * static_cast<double>(nanosBetween(appBefore, appAfter)) / elapsed;
    if (!xBefore.isEmpty() && !xAfter.isEmpty())
        usage.xServer = 100.0 * static_cast<double>(nanosBetween(xBefore, xAfter)) / elapsed;
    return usage;
}

QByteArray runTool(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(15000);
    const bool success = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = success;
    else if (!success)
        fail(QStringLiteral("%1 %2 failed").arg(program, arguments.join(QLatin1Char(' '))),
            process.readAllStandardError());
    return process.readAllStandardOutput();
}

QStringList visibleWindows(qint64 pid)
{
    bool ok = false; // xdotool search exits with 1 when nothing matches
    const QByteArray out = runTool(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(pid)},
        &ok);
    return QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The largest window of the process that is mapped: the main window (the HUD is far smaller).
QString mainWindow(qint64 pid)
{
    QString best;
    qint64 bestArea = -1;
    for (const QString &id : visibleWindows(pid)) {
        const QByteArray geometry = runTool(
            QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        int width = 0;
        int height = 0;
        for (const QByteArray &line : geometry.split('\n')) {
            if (line.startsWith("WIDTH="))
                width = line.mid(6).toInt();
            else if (line.startsWith("HEIGHT="))
                height = line.mid(7).toInt();
        }
        if (qint64(width) * height > bestArea) {
            bestArea = qint64(width) * height;
            best = id;
        }
    }
    return best;
}

class Kestrel
{
public:
    Kestrel(bool miniHud, quint16 gamePort)
    {
        if (!m_root.isValid())
            fail(QStringLiteral("no temporary folder"));
        const QString programDir = m_root.filePath(QStringLiteral("program"));
        const QString home = m_root.filePath(QStringLiteral("home"));
        for (const QString &dir : QStringList {programDir, home + QStringLiteral("/.config/TORVAL"),
                 home + QStringLiteral("/run"), home + QStringLiteral("/tmp")}) {
            if (!QDir().mkpath(dir))
                fail(QStringLiteral("cannot create ") + dir);
        }
        const QString program = programDir + QStringLiteral("/KESTREL");
        if (!QFile::copy(ToolProcess::binPath(QStringLiteral("KESTREL")), program))
            fail(QStringLiteral("cannot copy KESTREL from ") + ToolProcess::binPath(QString()));
        QFile settings(home + QStringLiteral("/.config/TORVAL/KESTREL.conf"));
        if (!settings.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write the settings"));
        QFile::setPermissions(
            home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        settings.write("[General]\nsafetyAccepted=true\nchatUserName=Bench\n");
        if (!miniHud)
            settings.write("miniOverlayEnabled=false\n");
        settings.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        // Its own temporary folder keeps the single-instance guard apart from other copies.
        env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
        // Nothing answers here: presence and geolocation fail quietly, as without a network.
        env.insert(QStringLiteral("KESTREL_SERVICE_URL"), QStringLiteral("http://127.0.0.1:9/"));
        env.insert(QStringLiteral("KESTREL_GEO_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.*=false"));
        if (!m_process.start(program, {}, env, true))
            fail(QStringLiteral("KESTREL does not start"));
        if (m_process.waitForLine("[STARTUP] Main window shown", 20000).isEmpty())
            fail(QStringLiteral("the main window was not shown"), m_process.allOutput());
        // Another game client on this machine may be found first; it serves the measurement as well.
        const QByteArray found = m_process.waitForLine("[MONITOR] Game server", 10000);
        if (found.isEmpty())
            fail(QStringLiteral("the fake game was not found"), m_process.allOutput());
        const QByteArray ours = kServerAddress.toLatin1() + ':' + QByteArray::number(gamePort);
        if (!found.endsWith(ours))
            std::printf("note: KESTREL found another game client's server (%s)\n", found.constData());
    }

    qint64 pid() const { return m_process.pid(); }

    // Ctrl+W, as the player presses it, into the focused main window.
    void putAway()
    {
        const QString window = mainWindow(pid());
        if (window.isEmpty())
            fail(QStringLiteral("no visible KESTREL window"));
        runTool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        runTool(QStringLiteral("xdotool"),
            {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+w")});
        m_putAwayWindow = window;
    }

    // Whether the main window left the screen (true only where something unmaps it).
    bool mainWindowUnmapped() { return !visibleWindows(pid()).contains(m_putAwayWindow); }
    int visibleWindowCount() { return int(visibleWindows(pid()).size()); }

private:
    QTemporaryDir m_root;
    ToolProcess m_process;
    QString m_putAwayWindow;
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        bool ok = false;
        if (arg == QLatin1String("--seconds") && i + 1 < args.size())
            options.seconds = args.at(++i).toInt(&ok);
        else if (arg == QLatin1String("--warmup") && i + 1 < args.size())
            options.warmup = args.at(++i).toInt(&ok);
        if (!ok || options.seconds < 1 || options.warmup < 0) {
            std::fprintf(stderr, "usage: bench_ui_idle [--seconds N] [--warmup N]\n");
            std::exit(2);
        }
    }
    return options;
}

QString percent(double value)
{
    return value < 0 ? QStringLiteral("   n/a") : QString::asprintf("%6.3f %%", value);
}

// A negative goal: none (a figure given for information).
void printRow(const char *name, const Usage &usage, double goal, const Usage &reference)
{
    const QString ratio
        = reference.app > 0 ? QString::asprintf("%.3f", usage.app / reference.app) : QStringLiteral("n/a");
    const QString verdict = goal < 0
        ? QStringLiteral("(no goal)")
        : QString::asprintf("(goal < %.1f %%: %s)", goal, usage.app < goal ? "met" : "MISSED");
    std::printf("%-32s KESTREL %s  %-22s X server %s  ratio to shown %s\n", name,
        qPrintable(percent(usage.app)), qPrintable(verdict), qPrintable(percent(usage.xServer)),
        qPrintable(ratio));
    std::fflush(stdout);
}

} // namespace

static int runBenchmark(const Options &options)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        fail(QStringLiteral("needs an X display (run bench/ui_idle/run.sh, which starts Xvfb)"));
    if (qEnvironmentVariableIsEmpty("KESTREL_BIN_DIR"))
        qputenv("KESTREL_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());
    bool haveXdotool = false;
    runTool(QStringLiteral("xdotool"), {QStringLiteral("version")}, &haveXdotool);
    if (!haveXdotool)
        fail(QStringLiteral("xdotool is missing (scripts/setup.sh installs it)"));

    // Discovery only takes ports that games use; the first free one of a few is taken.
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

    const qint64 xPid = xServerPid();
    std::printf("KESTREL idle with the game connected (%s:%u), %d s per run after %d s of settling%s\n",
        qPrintable(kServerAddress), port, options.seconds, options.warmup,
        xPid ? "" : "; X server not Xvfb, its CPU is not shown");
    std::fflush(stdout);

    Usage shown;
    Usage minimised;
    Usage hidden;
    {
        Kestrel kestrel(false, port);
        const Usage opening = options.warmup > 0 ? measure(kestrel.pid(), xPid, options.warmup) : Usage();
        shown = measure(kestrel.pid(), xPid, options.seconds);
        if (options.warmup > 0)
            printRow(qPrintable(QStringLiteral("shown, first %1 s").arg(options.warmup)), opening, -1, shown);
        printRow("shown", shown, kShownGoal, shown);

        kestrel.putAway();
        QTest::qWait(options.warmup * 1000);
        minimised = measure(kestrel.pid(), xPid, options.seconds);
        printRow(kestrel.mainWindowUnmapped() ? "minimised (HUD off, unmapped)" : "minimised (HUD off)",
            minimised, kMinimisedGoal, shown);
    }
    {
        Kestrel kestrel(true, port);
        QTest::qWait(options.warmup * 1000);
        kestrel.putAway();
        if (!QTest::qWaitFor([&] { return kestrel.mainWindowUnmapped(); }, 5000))
            fail(QStringLiteral("Ctrl+W did not hide the main window"));
        QTest::qWait(options.warmup * 1000);
        hidden = measure(kestrel.pid(), xPid, options.seconds);
        printRow(kestrel.visibleWindowCount() > 0 ? "hidden, HUD shown" : "hidden (no HUD visible)", hidden,
            kHiddenGoal, shown);
    }
    const bool met = shown.app < kShownGoal && minimised.app < kMinimisedGoal && hidden.app < kHiddenGoal;
    std::printf("shown / minimised %.1fx, shown / hidden+HUD %.1fx; goals %s\n",
        minimised.app > 0 ? shown.app / minimised.app : 0.0, hidden.app > 0 ? shown.app / hidden.app : 0.0,
        met ? "met" : "MISSED");
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(QCoreApplication::arguments());
    try {
        return runBenchmark(options);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_ui_idle: %s\n", qPrintable(failure.what));
        if (!failure.details.isEmpty())
            std::fprintf(stderr, "%s\n", failure.details.right(4000).constData());
        return 1;
    }
}
