// Fake game client, built as "rf4_x64.exe" so that discovery sees a process with the game's name
// that holds a real TCP connection. Built natively for Linux and with mingw-w64 for Wine.
//
// Usage: rf4_x64.exe [--hold] [ADDRESS PORT]
//   With ADDRESS and PORT it connects at once. Then it reads commands, one per line, on stdin:
//     move PORT              drop the connection and connect to the same address at PORT
//     drop                   close the connection, keep running
//     connect ADDRESS PORT   drop any connection and connect to ADDRESS:PORT
//     quit                   exit
//   --hold keeps running when stdin ends (for shells that start it with stdin on /dev/null);
//   without it, end of stdin means quit. SIGTERM also ends it.
//
// Output lines on stdout (flushed at once):
//   CONNECTING ADDRESS PORT   a connect was started (the socket is in SYN-SENT until it completes)
//   CONNECTED LOCALPORT       the connection stands; LOCALPORT is its local port
//   FAILED REASON             the connect failed
//   DROPPED                   the connection was closed on request
//   CLOSED                    the server closed the connection
//   ERROR TEXT                a command was not understood
// On Windows the connect is blocking and the server's close is not watched.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
void closeSocket(Socket s)
{
    closesocket(s);
}
std::string lastError()
{
    return "error " + std::to_string(WSAGetLastError());
}
#else
using Socket = int;
const Socket kNoSocket = -1;
void closeSocket(Socket s)
{
    close(s);
}
std::string lastError()
{
    return std::strerror(errno);
}
#endif

void say(const std::string &line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool parsePort(const std::string &text, unsigned short &port)
{
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 65535)
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

struct Client
{
    Socket sock = kNoSocket;
    bool pending = false; // non-blocking connect in progress
    std::string address;

    void drop()
    {
        if (sock != kNoSocket)
            closeSocket(sock);
        sock = kNoSocket;
        pending = false;
    }

    int localPort() const
    {
        sockaddr_in local {};
        socklen_t len = sizeof local;
        if (getsockname(sock, reinterpret_cast<sockaddr *>(&local), &len) != 0)
            return 0;
        return ntohs(local.sin_port);
    }

    void connectTo(const std::string &addr, unsigned short port)
    {
        drop();
        address = addr;
        sockaddr_in remote {};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        if (inet_pton(AF_INET, addr.c_str(), &remote.sin_addr) != 1) {
            say("FAILED bad address " + addr);
            return;
        }
        sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (sock == kNoSocket) {
            say("FAILED " + lastError());
            return;
        }
        say("CONNECTING " + addr + " " + std::to_string(port));
#ifdef _WIN32
        if (connect(sock, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
            say("FAILED " + lastError());
            drop();
            return;
        }
        say("CONNECTED " + std::to_string(localPort()));
#else
        fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
        if (connect(sock, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0) {
            say("CONNECTED " + std::to_string(localPort()));
        } else if (errno == EINPROGRESS) {
            pending = true;
        } else {
            say("FAILED " + lastError());
            drop();
        }
#endif
    }

#ifndef _WIN32
    // Called when the socket is readable or writable.
    void onSocketEvent(short revents)
    {
        if (pending) {
            int error = 0;
            socklen_t len = sizeof error;
            getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0) {
                say(std::string("FAILED ") + std::strerror(error));
                drop();
            } else if (revents & POLLOUT) {
                pending = false;
                say("CONNECTED " + std::to_string(localPort()));
            }
            return;
        }
        char buffer[4096];
        const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            say("CLOSED");
            drop();
        }
    }
#endif
};

// Runs one command line; returns false on quit.
bool runCommand(Client &client, const std::string &line)
{
    char verb[32] = {}, arg1[128] = {}, arg2[32] = {};
    const int fields = std::sscanf(line.c_str(), "%31s %127s %31s", verb, arg1, arg2);
    if (fields <= 0)
        return true;
    const std::string command = verb;
    unsigned short port = 0;
    if (command == "quit") {
        return false;
    } else if (command == "drop") {
        client.drop();
        say("DROPPED");
    } else if (command == "move" && fields >= 2 && parsePort(arg1, port) && !client.address.empty()) {
        client.connectTo(client.address, port);
    } else if (command == "connect" && fields >= 3 && parsePort(arg2, port)) {
        client.connectTo(arg1, port);
    } else {
        say("ERROR " + line);
    }
    return true;
}

#ifndef _WIN32
volatile sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    bool hold = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--hold") == 0) {
        hold = true;
        first = 2;
    }
    const int positional = argc - first;
    if (positional != 0 && positional != 2) {
        std::fprintf(stderr, "usage: %s [--hold] [ADDRESS PORT]\n", argv[0]);
        return 2;
    }

#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        say("FAILED WSAStartup");
        return 1;
    }
#else
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
#endif

    Client client;
    if (positional == 2) {
        unsigned short port = 0;
        if (!parsePort(argv[first + 1], port)) {
            std::fprintf(stderr, "bad port %s\n", argv[first + 1]);
            return 2;
        }
        client.connectTo(argv[first], port);
    }

#ifdef _WIN32
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (!runCommand(client, text))
            break;
    }
    if (hold && std::feof(stdin))
        Sleep(INFINITE);
    client.drop();
    WSACleanup();
#else
    bool stdinOpen = true;
    std::string input;
    while (!g_stop) {
        pollfd fds[2] = {};
        int count = 0;
        if (stdinOpen)
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        const int socketIndex = count;
        if (client.sock != kNoSocket)
            fds[count++] = {client.sock, static_cast<short>(client.pending ? POLLOUT : POLLIN), 0};
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (socketIndex < count && fds[socketIndex].revents)
            client.onSocketEvent(fds[socketIndex].revents);
        if (stdinOpen && fds[0].revents) {
            char buffer[512];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                stdinOpen = false;
                if (!hold)
                    break;
                continue;
            }
            input.append(buffer, static_cast<size_t>(n));
            size_t end;
            bool quit = false;
            while (!quit && (end = input.find('\n')) != std::string::npos) {
                std::string text = input.substr(0, end);
                input.erase(0, end + 1);
                if (!text.empty() && text.back() == '\r')
                    text.pop_back();
                quit = !runCommand(client, text);
            }
            if (quit)
                break;
        }
    }
    client.drop();
#endif
    return 0;
}
