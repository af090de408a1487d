// Load and save times of the record stores at 10 000 sessions and 100 000 visits, and
// the cost of the full rewrite every change makes, against a plain write() of the same
// bytes measured in the same run.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

#include "records/porthistory.h"
#include "records/sessionmanager.h"

namespace {

constexpr int kRepeats = 7;

double medianMs(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < kRepeats; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

const QDateTime kBase(QDate(2023, 1, 1), QTime(8, 0));

QByteArray iso(const QDateTime &t)
{
    return t.toString(Qt::ISODate).toUtf8();
}

// Sessions of an hour, one every three hours.
QByteArray sessionLines(int count)
{
    QByteArray data;
    for (int id = 1; id <= count; ++id) {
        const QDateTime start = kBase.addSecs(qint64(id) * 3 * 3600);
        data += QByteArray::number(id) + "|185.10.20.30|9443|" + iso(start) + "|" + iso(start.addSecs(3600))
            + "|3600000|ETHERNET|42|20|90|97|600\n";
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

void report(const char *what, double ms, double plainMs, double syncedMs)
{
    std::printf("  %-34s %9.2f ms   x%6.1f plain write()   x%5.2f write()+fsync()\n", what, ms, ms / plainMs,
        ms / syncedMs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("files in %s\n", qPrintable(dir.path()));

    {
        const QString path = dir.filePath(QStringLiteral("game_sessions.txt"));
        const QByteArray data = sessionLines(10'000);
        writeFile(path, data, false);
        const QString plainPath = dir.filePath(QStringLiteral("plain.txt"));
        const double plain = medianMs([&] { writeFile(plainPath, data, false); });
        const double synced = medianMs([&] { writeFile(plainPath, data, true); });
        std::printf("game sessions: 10000 records, %.1f KiB\n", data.size() / 1024.0);
        std::printf("  %-34s %9.2f ms\n", "plain write() of the same bytes", plain);
        std::printf("  %-34s %9.2f ms\n", "write() + fsync()", synced);
        report("load (construct store)", medianMs([&] { SessionManager s(path); }), plain, synced);
        SessionManager store(path);
        report("save (saveSessions)", medianMs([&] { store.saveSessions(); }), plain, synced);
        report("change: startNewSession",
            medianMs([&] { store.startNewSession(QStringLiteral("1.2.3.4"), 9001); }), plain, synced);
    }
    {
        const QString path = dir.filePath(QStringLiteral("port_history.txt"));
        const QByteArray data = visitLines(100'000);
        writeFile(path, data, false);
        const QString plainPath = dir.filePath(QStringLiteral("plain.txt"));
        const double plain = medianMs([&] { writeFile(plainPath, data, false); });
        const double synced = medianMs([&] { writeFile(plainPath, data, true); });
        std::printf("port history: 100000 visits, %.1f KiB\n", data.size() / 1024.0);
        std::printf("  %-34s %9.2f ms\n", "plain write() of the same bytes", plain);
        std::printf("  %-34s %9.2f ms\n", "write() + fsync()", synced);
        report("load (construct store)", medianMs([&] { PortHistory h(path); }), plain, synced);
        PortHistory history(path);
        report("save (saveHistory)", medianMs([&] { history.saveHistory(); }), plain, synced);
        quint16 port = 9000;
        report("change: visitPort (leave + visit)",
            medianMs([&] { history.visitPort(++port, QStringLiteral("1.2.3.4"), QStringLiteral("x")); }),
            plain, synced);
    }
    return 0;
}
