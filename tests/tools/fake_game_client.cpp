// Fake game client, built as "rf4_x64.exe" so that discovery sees a process with the game's name
// that holds a real TCP connection. Built natively for Linux and with mingw-w64 for Wine.
//
// Usage: rf4_x64.exe [--hold] [ADDRESS PORT]   (connects at once when given ADDRESS and PORT)
// Commands on stdin, one per line: "move PORT" (reconnect to the same address at PORT), "drop"
// (close the connection, keep running), "connect ADDRESS PORT", "quit". End of stdin means quit
// unless --hold is given (for shells that start it with stdin on /dev/null); SIGTERM also ends it.
// Lines on stdout: "CONNECTING ADDRESS PORT" (a connect started: SYN-SENT until it completes),
// "CONNECTED LOCALPORT", "FAILED REASON", "DROPPED", "CLOSED" (the server closed the connection),
// "ERROR TEXT" (a command not understood). On Windows the connect blocks and a close by the
// server is not watched.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
#define closeSocket closesocket
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
const Socket INVALID_SOCKET = -1;
#define closeSocket close
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void say(const std::string &line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string lastError()
{
#ifdef _WIN32
    return "error " + std::to_string(WSAGetLastError());
#else
    return std::strerror(errno);
#endif
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
    Socket sock = INVALID_SOCKET;
    bool pending = false; // non-blocking connect in progress
    std::string address;

    void drop()
    {
        if (sock != INVALID_SOCKET)
            closeSocket(sock);
        sock = INVALID_SOCKET;
        pending = false;
    }

    void sayConnected() const
    {
        sockaddr_in local {};
        socklen_t len = sizeof local;
        getsockname(sock, reinterpret_cast<sockaddr *>(&local), &len);
        say("CONNECTED " + std::to_string(ntohs(local.sin_port)));
    }

    void connectTo(const std::string &addr, unsigned short port)
    {
        drop();
        address = addr;
        sockaddr_in remote {};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        if (inet_pton(AF_INET, addr.c_str(), &remote.sin_addr) != 1)
            return say("FAILED bad address " + addr);
        sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (sock == INVALID_SOCKET)
            return say("FAILED " + lastError());
        say("CONNECTING " + addr + " " + std::to_string(port));
#ifndef _WIN32
        fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
#endif
        if (connect(sock, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0)
            return sayConnected();
#ifndef _WIN32
        if (errno == EINPROGRESS) {
            pending = true;
            return;
        }
#endif
        say("FAILED " + lastError());
        drop();
    }

#ifndef _WIN32
    // The socket is readable or writable.
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
                sayConnected();
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

// Runs one command line; false on quit.
bool runCommand(Client &client, std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    char verb[32] = {}, arg1[128] = {}, arg2[32] = {};
    const int fields = std::sscanf(line.c_str(), "%31s %127s %31s", verb, arg1, arg2);
    const std::string command = verb;
    unsigned short port = 0;
    if (fields <= 0)
        return true;
    if (command == "quit")
        return false;
    if (command == "drop") {
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
#endif

} // namespace

int main(int argc, char **argv)
{
    const bool hold = argc > 1 && std::strcmp(argv[1], "--hold") == 0;
    const int first = hold ? 2 : 1;
    unsigned short port = 0;
    if ((argc - first != 0 && argc - first != 2)
        || (argc - first == 2 && !parsePort(argv[first + 1], port))) {
        std::fprintf(stderr, "usage: %s [--hold] [ADDRESS PORT]\n", argv[0]);
        return 2;
    }
#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 1;
#else
    struct sigaction action = {};
    action.sa_handler = [](int) { g_stop = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
#endif
    Client client;
    if (port != 0)
        client.connectTo(argv[first], port);

#ifdef _WIN32
    char line[512];
    while (std::fgets(line, sizeof line, stdin) && runCommand(client, line)) { }
    if (hold && std::feof(stdin))
        Sleep(INFINITE);
#else
    bool stdinOpen = true;
    std::string input;
    while (!g_stop) {
        // poll skips a negative descriptor.
        pollfd fds[2] = {{stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
            {client.sock, short(client.pending ? POLLOUT : POLLIN), 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents && client.sock != INVALID_SOCKET)
            client.onSocketEvent(fds[1].revents);
        if (!fds[0].revents)
            continue;
        char buffer[512];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            stdinOpen = false;
            if (!hold)
                break;
            continue;
        }
        input.append(buffer, static_cast<size_t>(n));
        size_t end;
        bool quit = false;
        while (!quit && (end = input.find('\n')) != std::string::npos) {
            quit = !runCommand(client, input.substr(0, end));
            input.erase(0, end + 1);
        }
        if (quit)
            break;
    }
#endif
    client.drop();
#ifdef _WIN32
    WSACleanup();
#endif
    return 0;
}
