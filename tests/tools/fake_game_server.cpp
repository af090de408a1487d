// Fake game server: listens on IPv4 ADDRESS:PORT pairs, accepts every connection and holds it open
// (incoming data is discarded) until the peer closes it, so a TCP-connect ping against it succeeds.
//
// Usage: fake_game_server [--hold] ADDRESS:PORT [ADDRESS:PORT ...]
//   PORT 0 picks a free port. On stdout: "LISTENING ADDRESS:PORT" per socket with the actual port,
//   then "READY". A bind failure prints "FAILED ADDRESS:PORT REASON" on stderr and exits with 1.
//   It exits on SIGTERM or SIGINT, and when stdin ends unless --hold is given (for a shell that
//   starts it in the background with stdin on /dev/null).

#include <QtNetwork>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char **argv)
{
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    std::signal(SIGINT, [](int) { std::_Exit(0); });
    QCoreApplication app(argc, argv);
    QStringList specs = app.arguments().mid(1);
    const bool hold = specs.removeAll(QStringLiteral("--hold")) > 0;
    if (specs.isEmpty()) {
        std::fprintf(stderr, "usage: %s [--hold] ADDRESS:PORT [ADDRESS:PORT ...]\n", argv[0]);
        return 2;
    }
    for (const QString &spec : std::as_const(specs)) {
        const QString address = spec.section(QLatin1Char(':'), 0, -2);
        bool ok = false;
        const uint port = spec.section(QLatin1Char(':'), -1).toUInt(&ok);
        const QHostAddress host(address);
        auto *server = new QTcpServer(&app);
        const bool valid = host.protocol() == QAbstractSocket::IPv4Protocol && ok && port <= 65535;
        if (!valid || !server->listen(host, quint16(port))) {
            const QString reason = valid ? server->errorString() : QStringLiteral("bad address");
            std::fprintf(stderr, "FAILED %s %s\n", qPrintable(spec), qPrintable(reason));
            return 1;
        }
        QObject::connect(server, &QTcpServer::newConnection, server, [server] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        std::printf("LISTENING %s:%u\n", qPrintable(address), unsigned(server->serverPort()));
    }
    std::printf("READY\n");
    std::fflush(stdout);
    if (!hold) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, &app, [] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                QCoreApplication::quit();
        });
    }
    return app.exec();
}
