// Child process for the crash-safety test. It drives a record store the way the
// program does and reports on stdout after every completed change:
//   records_save_helper loop sessions|history <file>
//       adds records forever, printing "committed <records in the store>" after each;
//   records_save_helper limit sessions|history <file> <bytes>
//       limits the size of any file it writes (as a full disk would), adds one record
//       and prints "saved 1" or "saved 0".

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include "records/porthistory.h"
#include "records/sessionmanager.h"

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void report(const char *what, qsizetype value)
{
    std::printf("%s %lld\n", what, static_cast<long long>(value));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    const QString mode = args.at(1);
    const bool sessions = args.at(2) == QLatin1String("sessions");
    const QString path = args.at(3);

    if (mode == QLatin1String("limit")) {
        if (args.size() < 5)
            return 2;
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        limit.rlim_cur = limit.rlim_max = args.at(4).toULongLong();
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
        bool saved = false;
        if (sessions) {
            SessionManager store(path);
            store.startNewSession(QStringLiteral("10.1.2.3"), 9100);
            saved = store.saveSessions();
        } else {
            PortHistory history(path);
            history.visitPort(
                quint16(9000 + history.nextId() % 1000), QStringLiteral("10.1.2.3"), QStringLiteral("added"));
            saved = history.saveHistory();
        }
        report("saved", saved ? 1 : 0);
        return 0;
    }

    if (sessions) {
        SessionManager store(path);
        for (;;) {
            store.startNewSession(QStringLiteral("10.1.2.3"), quint16(9000 + store.nextId() % 1000));
            report("committed", store.sessions().size());
        }
    }
    PortHistory history(path);
    for (;;) {
        history.visitPort(quint16(9000 + history.nextId() % 1000), QStringLiteral("10.1.2.3"),
            QStringLiteral("visit %1").arg(history.nextId()));
        // The visit closed before this one is in the same file, so count both.
        report("committed", history.sessions().size());
    }
}
