// Fake game client, built as "rf4_x64.exe" so that discovery sees a process with the game's name
// that holds a real TCP connection (fake_game_client_win.cpp is the same for Wine).
//
// Usage: rf4_x64.exe [--hold] [ADDRESS PORT]   (connects at once when given ADDRESS and PORT)
// Commands on stdin, one per line: "move PORT" (reconnect to the same address at PORT), "drop"
// (close the connection, keep running), "connect ADDRESS PORT", "quit". End of stdin means quit
// unless --hold is given (for shells that start it with stdin on /dev/null); SIGTERM also ends it.
// Lines on stdout: "CONNECTING ADDRESS PORT" (a connect started: SYN-SENT until it completes),
// "CONNECTED LOCALPORT", "FAILED REASON", "DROPPED", "CLOSED" (the server closed the connection),
// "ERROR TEXT" (a command not understood).

#include <QtNetwork>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

quint16 portOf(const QString &text)
{
    const uint port = text.toUInt();
    return port <= 65535 ? quint16(port) : 0;
}

class Client
{
public:
    void connectTo(const QString &address, quint16 port)
    {
        drop();
        m_address = address;
        const QHostAddress host(address);
        if (host.protocol() != QAbstractSocket::IPv4Protocol)
            return say(QStringLiteral("FAILED bad address ") + address);
        QTcpSocket *socket = m_socket = new QTcpSocket;
        socket->setProxy(QNetworkProxy::NoProxy);
        QObject::connect(socket, &QTcpSocket::connected,
            [socket] { say(QStringLiteral("CONNECTED %1").arg(socket->localPort())); });
        QObject::connect(socket, &QTcpSocket::readyRead, [socket] { socket->readAll(); });
        QObject::connect(
            socket, &QTcpSocket::errorOccurred, [this, socket](QAbstractSocket::SocketError error) {
                say(error == QAbstractSocket::RemoteHostClosedError
                        ? QStringLiteral("CLOSED")
                        : QStringLiteral("FAILED ") + socket->errorString());
                drop();
            });
        say(QStringLiteral("CONNECTING %1 %2").arg(address).arg(port));
        socket->connectToHost(host, port);
    }

    void drop()
    {
        if (!m_socket)
            return;
        m_socket->disconnect();
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }

    // Runs one command line; false on quit.
    bool run(const QString &line)
    {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        if (verb == QLatin1String("quit"))
            return false;
        if (verb == QLatin1String("drop")) {
            drop();
            say(QStringLiteral("DROPPED"));
        } else if (verb == QLatin1String("move") && portOf(words.value(1)) && !m_address.isEmpty()) {
            connectTo(m_address, portOf(words.value(1)));
        } else if (verb == QLatin1String("connect") && portOf(words.value(2))) {
            connectTo(words.at(1), portOf(words.value(2)));
        } else if (!words.isEmpty()) {
            say(QStringLiteral("ERROR ") + line);
        }
        return true;
    }

private:
    QTcpSocket *m_socket = nullptr;
    QString m_address;
};

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool hold = args.value(0) == QLatin1String("--hold");
    if (hold)
        args.removeFirst();
    if ((args.size() != 0 && args.size() != 2) || (args.size() == 2 && !portOf(args.at(1)))) {
        std::fprintf(stderr, "usage: %s [--hold] [ADDRESS PORT]\n", argv[0]);
        return 2;
    }
    Client client;
    if (args.size() == 2)
        client.connectTo(args.at(0), portOf(args.at(1)));

    QByteArray input;
    QSocketNotifier stdinReady(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReady, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            stdinReady.setEnabled(false);
            if (!hold)
                QCoreApplication::quit();
            return;
        }
        input.append(buffer, n);
        for (qsizetype end; (end = input.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(input.left(end)).trimmed();
            input.remove(0, end + 1);
            if (!client.run(line))
                return QCoreApplication::quit();
        }
    });
    return app.exec();
}
