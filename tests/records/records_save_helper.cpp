// Child process of the crash-safety test; drives a record store as the program does.
//   records_save_helper loop sessions|history <file>: adds records forever, printing
//       "committed <records in the store>" once each is on disk;
//   records_save_helper limit sessions|history <file> <bytes>: limits the size of any file
//       it writes (as a full disk would), adds one record and prints "saved 1" or "saved 0".

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

#include "records/porthistory.h"
#include "records/sessionmanager.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool limited = args.value(1) == QLatin1String("limit");
    const rlimit limit {args.value(4).toULongLong(), args.value(4).toULongLong()};
    if (limited && (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0))
        return 3;
    // Only the store under test may exist: another one would save (and warn) on exit too.
    std::unique_ptr<SessionManager> store;
    std::unique_ptr<PortHistory> history;
    if (args.value(2) == QLatin1String("sessions"))
        store = std::make_unique<SessionManager>(args.value(3));
    else
        history = std::make_unique<PortHistory>(args.value(3));
    do {
        const quint16 port = quint16(9000 + (store ? store->nextId() : history->nextId()) % 1000);
        if (store)
            store->startNewSession(QStringLiteral("10.1.2.3"), port)->addPing(port % 90);
        else // the visit closed before this one is in the same file too
            history->visitPort(port, QStringLiteral("10.1.2.3"), QStringLiteral("visit %1").arg(port));
        if (limited) {
            std::printf("saved %d\n", (store ? store->saveSessions() : history->saveHistory()) ? 1 : 0);
        } else {
            store ? store->flush() : history->flush(); // changes are written in the background
            std::printf(
                "committed %lld\n", static_cast<long long>(store ? store->nextId() : history->nextId()) - 1);
        }
        std::fflush(stdout);
    } while (!limited);
    return 0;
}
