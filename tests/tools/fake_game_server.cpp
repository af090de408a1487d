// Fake game server: listens on one or more IPv4 address:port pairs, accepts every connection and
// holds it open (incoming data is read and discarded) until the peer closes it. Because it accepts,
// a TCP-connect ping against it succeeds.
//
// Usage: fake_game_server [--hold] ADDRESS:PORT [ADDRESS:PORT ...]
//   PORT 0 picks a free port. Output on stdout, flushed at once:
//     LISTENING ADDRESS:PORT   one line per listening socket, with the actual port
//     READY                    after all sockets listen
//   On a bind failure it prints "FAILED ADDRESS:PORT REASON" on stderr and exits with code 1.
//   It exits on SIGTERM or SIGINT, and when stdin ends unless --hold is given (use --hold when a
//   shell starts it in the background with stdin on /dev/null).

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

int listenOn(const std::string &spec, std::string &actual)
{
    const size_t colon = spec.rfind(':');
    if (colon == std::string::npos)
        return -1;
    const std::string address = spec.substr(0, colon);
    char *end = nullptr;
    const long port = std::strtol(spec.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 0 || port > 65535)
        return -1;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1)
        return -1;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 || listen(fd, SOMAXCONN) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    socklen_t len = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len);
    actual = address + ":" + std::to_string(ntohs(local.sin_port));
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    bool hold = false;
    std::vector<std::string> specs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hold") == 0)
            hold = true;
        else
            specs.emplace_back(argv[i]);
    }
    if (specs.empty()) {
        std::fprintf(stderr, "usage: %s [--hold] ADDRESS:PORT [ADDRESS:PORT ...]\n", argv[0]);
        return 2;
    }

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::vector<int> listeners;
    for (const std::string &spec : specs) {
        std::string actual;
        errno = 0;
        const int fd = listenOn(spec, actual);
        if (fd < 0) {
            std::fprintf(
                stderr, "FAILED %s %s\n", spec.c_str(), errno ? std::strerror(errno) : "bad address");
            return 1;
        }
        listeners.push_back(fd);
        std::printf("LISTENING %s\n", actual.c_str());
    }
    std::printf("READY\n");
    std::fflush(stdout);

    bool stdinOpen = !hold;
    std::vector<int> connections;
    while (!g_stop) {
        std::vector<pollfd> fds;
        if (stdinOpen)
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        const size_t firstListener = fds.size();
        for (int fd : listeners)
            fds.push_back({fd, POLLIN, 0});
        const size_t firstConnection = fds.size();
        for (int fd : connections)
            fds.push_back({fd, POLLIN, 0});

        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stdinOpen && fds[0].revents) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
        }
        for (size_t i = firstListener; i < firstConnection; ++i) {
            if (!fds[i].revents)
                continue;
            const int fd = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                connections.push_back(fd);
        }
        std::vector<int> kept;
        for (size_t i = firstConnection; i < fds.size(); ++i) {
            bool open = true;
            if (fds[i].revents) {
                char buffer[4096];
                const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
                open = n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
            }
            if (open)
                kept.push_back(fds[i].fd);
            else
                close(fds[i].fd);
        }
        connections.swap(kept);
    }
    for (int fd : connections)
        close(fd);
    for (int fd : listeners)
        close(fd);
    return 0;
}
