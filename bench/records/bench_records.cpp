// Costs of the record stores at 10 000 sessions and 100 000 visits, each printed with its
// goal: loading, a full save, and one change (which rewrites the whole file), against a
// plain write() + fsync() of the same bytes measured in the same run. Times are wall
// clock (median of several runs); the CPU time of the calling thread is shown beside
// them, since on a busy machine the wall clock also counts time spent waiting for a core.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

#include "records/porthistory.h"
#include "records/sessionmanager.h"

namespace {

constexpr int kRepeats = 7;

struct Cost
{
    double wallMs = 0;
    double cpuMs = 0;
};

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Median over kRepeats runs of work; prepare runs untimed before each.
Cost measure(const std::function<void()> &work, const std::function<void()> &prepare = {})
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < kRepeats; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        const double cpu0 = threadCpuMs();
        t.start();
        work();
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpu0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

const QDateTime kBase(QDate(2023, 1, 1), QTime(8, 0));

QByteArray iso(const QDateTime &t)
{
    return t.toString(Qt::ISODate).toUtf8();
}

// Sessions of an hour, one every three hours, as this version writes them.
QByteArray sessionLines(int count)
{
    QByteArray data;
    for (int id = 1; id <= count; ++id) {
        const QDateTime start = kBase.addSecs(qint64(id) * 3 * 3600);
        data += QByteArray::number(id) + "|185.10.20.30|9443|" + iso(start) + "|" + iso(start.addSecs(3600))
            + "|3600000|ETHERNET|42|20|90|97|600|0.5|3.2|41|58\n";
    }
    return data;
}

// Visits of ten minutes, each starting when the previous one ended.
QByteArray visitLines(int count)
{
    QByteArray data;
    for (int id = 1; id <= count; ++id) {
        const QDateTime start = kBase.addSecs(qint64(id) * 600);
        data += QByteArray::number(id) + "|" + QByteArray::number(9000 + id % 1000) + "|185.10.20.30|"
            + iso(start) + "|" + iso(start.addSecs(600)) + "|600000|Описание порта\n";
    }
    return data;
}

void writeFile(const QString &path, const QByteArray &data, bool sync)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n <= 0)
            break;
        p += n;
        left -= n;
    }
    if (sync)
        ::fsync(fd);
    ::close(fd);
}

void line(const char *what, const Cost &cost, const char *goal, bool met)
{
    std::printf("  %-44s %8.2f ms (cpu %7.2f)   goal %-22s %s\n", what, cost.wallMs, cost.cpuMs, goal,
        met ? "met" : "MISSED");
}

void ratioLine(const char *what, const Cost &cost, double syncedMs)
{
    const double ratio = cost.wallMs / syncedMs;
    std::printf("  %-44s %8.2f ms (cpu %7.2f)   x%5.2f write()+fsync(), goal <= x3   %s\n", what, cost.wallMs,
        cost.cpuMs, ratio, ratio <= 3 ? "met" : "MISSED");
}

// The share of a change the GUI thread waits for: well under one write()+fsync().
void guiLine(const Cost &cost, double syncedMs)
{
    const double ratio = cost.wallMs / syncedMs;
    std::printf("  %-44s %8.2f ms (cpu %7.2f)   x%5.2f write()+fsync(), goal < x1   %s\n",
        "  of which the GUI thread waits", cost.wallMs, cost.cpuMs, ratio, ratio < 1 ? "met" : "MISSED");
}

// The reference: the same bytes written over an existing file, with and without fsync.
double reference(const QTemporaryDir &dir, const QByteArray &data)
{
    const QString path = dir.filePath(QStringLiteral("plain.txt"));
    writeFile(path, data, true);
    const Cost plain = measure([&] { writeFile(path, data, false); });
    const Cost synced = measure([&] { writeFile(path, data, true); });
    std::printf("  %-44s %8.2f ms\n", "plain write() of the same bytes", plain.wallMs);
    std::printf("  %-44s %8.2f ms\n", "write() + fsync()", synced.wallMs);
    return synced.wallMs;
}

template<typename Store> Cost loadCost(const QString &path, double goalMs, const char *goalText)
{
    std::unique_ptr<Store> store;
    // Only the loading is timed: the store's destructor saves, so it goes untimed.
    const Cost cost = measure([&] { store = std::make_unique<Store>(path); }, [&] { store.reset(); });
    store.reset();
    line("load (construct the store)", cost, goalText, cost.wallMs <= goalMs);
    return cost;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("files in %s; the change rows show the GUI thread's share and the time until the\n"
                "new file is on disk (the rewrite itself runs on the store's writer thread)\n",
        qPrintable(dir.path()));

    {
        const QString path = dir.filePath(QStringLiteral("game_sessions.txt"));
        const QByteArray data = sessionLines(10'000);
        writeFile(path, data, false);
        std::printf("game sessions: 10000 records, %.1f KiB\n", double(data.size()) / 1024.0);
        const double synced = reference(dir, data);
        loadCost<SessionManager>(path, 15, "<= 15 ms");
        auto fresh = std::make_unique<SessionManager>(path);
        ratioLine("save (saveSessions), just loaded",
            measure([&] { fresh->saveSessions(); },
                [&] {
                    fresh.reset();
                    fresh = std::make_unique<SessionManager>(path);
                }),
            synced);
        fresh.reset();
        SessionManager store(path);
        const auto change = [&] { store.startNewSession(QStringLiteral("1.2.3.4"), 9001); };
        const Cost gui = measure(change, [&] { store.flush(); });
        ratioLine("change: startNewSession, until on disk", measure([&] {
            change();
            store.flush();
        }),
            synced);
        guiLine(gui, synced);
    }
    {
        const QString path = dir.filePath(QStringLiteral("port_history.txt"));
        const QByteArray data = visitLines(100'000);
        writeFile(path, data, false);
        std::printf("port history: 100000 visits, %.1f KiB\n", double(data.size()) / 1024.0);
        const double synced = reference(dir, data);
        loadCost<PortHistory>(path, 150, "<= 150 ms");
        // Just loaded, so every line is written afresh.
        auto fresh = std::make_unique<PortHistory>(path);
        ratioLine("save (saveHistory), just loaded",
            measure([&] { fresh->saveHistory(); },
                [&] {
                    fresh.reset();
                    fresh = std::make_unique<PortHistory>(path);
                }),
            synced);
        // A file this store did not write (CRLF line ends here) is written out afresh.
        QByteArray crlf = data;
        crlf.replace("\n", "\r\n");
        ratioLine("save, every line afresh (file had CRLF)",
            measure([&] { fresh->saveHistory(); },
                [&] {
                    fresh.reset();
                    writeFile(path, crlf, true);
                    fresh = std::make_unique<PortHistory>(path);
                }),
            synced);
        fresh.reset();
        writeFile(path, data, false);
        PortHistory history(path);
        quint16 port = 9000;
        const auto change
            = [&] { history.visitPort(++port, QStringLiteral("1.2.3.4"), QStringLiteral("x")); };
        const Cost gui = measure(change, [&] { history.flush(); });
        ratioLine("change: visitPort (leave + visit), until on disk", measure([&] {
            change();
            history.flush();
        }),
            synced);
        guiLine(gui, synced);
    }
    return 0;
}
