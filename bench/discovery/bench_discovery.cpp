// Cost of game discovery on a busy machine, against `ss -tnp` over the same TCP table.
//
// Usage: bench_discovery [--connections N] [--game PATH]
//   N established loopback connections (default 5000) are held by a helper process that is not
//   the game, and one by the fake game client (PATH, default rf4_x64.exe beside this program).
//   Measured, as CPU time of this process (user + system, so the kernel's work counts):
//     steady state: processAlive(game) + connectionExists(known row), the once-a-second check;
//     full pass:    processIdsMatching + readTcpTable(rows, pids) + picking the game's row,
//                   reading the game's own sockets (default) and, for comparison, dumping the table;
//   and as reference the CPU time of one `ss -tnp state established` child (wait4 rusage).
//   Exit code 1 when the game's connection is not found or the set-up fails.

#include "platform/platform.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuMicros()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_discovery: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

int listenLoopback(uint32_t hostAddr, uint16_t &port, int backlog)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostAddr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || listen(fd, backlog) != 0)
        fail("listen");
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool writeAll(int fd, const void *data, size_t size)
{
    return write(fd, data, size) == static_cast<ssize_t>(size);
}

// Child: holds `count` connections to itself plus the game's server end, then waits for the parent
// to close the control pipe. Reports the game port (uint16_t) on `report`.
[[noreturn]] void runHelper(int count, int report, int control)
{
    uint16_t port = 0;
    const int listener = listenLoopback(0x7F000001, port, 4096);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(0x7F000001);
    address.sin_port = htons(port);
    std::vector<int> fds;
    fds.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (client < 0 || connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            fail("helper connect");
        const int accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0)
            fail("helper accept");
        fds.push_back(client);
        fds.push_back(accepted);
    }
    uint16_t gamePort = 0;
    const int gameListener = listenLoopback(0x7F000003, gamePort, 4);
    if (!writeAll(report, &gamePort, sizeof gamePort))
        _exit(1);
    const int game = accept4(gameListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (game < 0)
        fail("helper accept game");
    char byte;
    while (read(control, &byte, 1) > 0) { }
    _exit(0);
}

pid_t spawn(const std::vector<std::string> &argv, int stdinFd, int stdoutFd)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(stdinFd, STDIN_FILENO);
        dup2(stdoutFd, STDOUT_FILENO);
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

const platform::TcpRow *pickGameRow(
    const std::vector<platform::TcpRow> &rows, const std::vector<uint32_t> &pids, uint16_t port)
{
    for (const platform::TcpRow &row : rows) {
        if (row.state == platform::TcpEstablished && row.remotePort == port
            && std::find(pids.begin(), pids.end(), row.pid) != pids.end())
            return &row;
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    int count = 5000;
    std::string self = argv[0];
    std::string game = self.substr(0, self.find_last_of('/') + 1) + "rf4_x64.exe";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--connections") == 0)
            count = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--game") == 0)
            game = argv[i + 1];
    }
    signal(SIGPIPE, SIG_IGN);

    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t needed = static_cast<rlim_t>(count) * 2 + 64;
    if (limit.rlim_cur < needed) {
        limit.rlim_cur = needed;
        limit.rlim_max = std::max(limit.rlim_max, needed);
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            fail("raising RLIMIT_NOFILE (run as root or lower --connections)");
    }

    int report[2], control[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0)
        fail("pipe");
    const pid_t helper = fork();
    if (helper == 0) {
        close(control[1]);
        runHelper(count, report[1], control[0]);
    }
    close(control[0]);
    close(report[1]);
    uint16_t gamePort = 0;
    if (read(report[0], &gamePort, sizeof gamePort) != sizeof gamePort)
        fail("helper set-up");

    int gameIn[2], gameOut[2];
    if (pipe2(gameIn, O_CLOEXEC) != 0 || pipe2(gameOut, O_CLOEXEC) != 0)
        fail("pipe");
    const pid_t gamePid = spawn({game, "127.0.0.3", std::to_string(gamePort)}, gameIn[0], gameOut[1]);
    close(gameIn[0]);
    close(gameOut[1]);
    std::string output;
    char buffer[256];
    ssize_t n;
    while (output.find("CONNECTED") == std::string::npos && (n = read(gameOut[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<size_t>(n));
    if (output.find("CONNECTED") == std::string::npos) {
        std::fprintf(stderr, "bench_discovery: the fake game did not connect: %s\n", output.c_str());
        return 1;
    }

    const std::vector<std::string> names = {"rf4_x64.exe", "rf4.exe", "russian fishing 4"};
    std::vector<platform::TcpRow> rows;
    std::vector<uint32_t> pids = platform::processIdsMatching(names);
    platform::readTcpTable(rows, pids);
    const platform::TcpRow *found = pickGameRow(rows, pids, gamePort);
    if (!found || found->pid != static_cast<uint32_t>(gamePid)) {
        std::fprintf(stderr, "bench_discovery: the game's connection was not found\n");
        return 1;
    }
    const platform::TcpRow known = *found;

    std::vector<double> steady;
    int misses = 0;
    for (int i = 0; i < 2000; ++i) {
        const double start = cpuMicros();
        const bool ok = platform::processAlive(known.pid) && platform::connectionExists(known);
        steady.push_back(cpuMicros() - start);
        misses += ok ? 0 : 1;
    }

    // The default reads the candidates' own sockets; the table dump is what a process without
    // ptrace rights over the game falls back to.
    const auto measurePasses = [&](bool direct, int passes) {
        platform::setDirectSocketReads(direct);
        std::vector<double> cpu;
        for (int i = 0; i < passes; ++i) {
            const double start = cpuMicros();
            pids = platform::processIdsMatching(names);
            platform::readTcpTable(rows, pids);
            const bool ok = pickGameRow(rows, pids, gamePort) != nullptr;
            cpu.push_back(cpuMicros() - start);
            misses += ok ? 0 : 1;
        }
        platform::setDirectSocketReads(true);
        return cpu;
    };
    const std::vector<double> fullPass = measurePasses(true, 50);
    const std::vector<double> dumpPass = measurePasses(false, 20);
    const size_t tableRows = rows.size();

    std::vector<double> ss;
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int i = 0; i < 10; ++i) {
        const pid_t child = spawn({"ss", "-tnp", "state", "established"}, devNull, devNull);
        int status = 0;
        rusage usage {};
        if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "bench_discovery: ss failed (is iproute2 installed?)\n");
            return 1;
        }
        ss.push_back(usage.ru_utime.tv_sec * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1e6
            + usage.ru_stime.tv_usec);
    }

    close(gameIn[1]); // the fake game quits at end of input
    close(control[1]);
    waitpid(gamePid, nullptr, 0);
    waitpid(helper, nullptr, 0);

    const double steadyMedian = median(steady);
    const double passMedian = median(fullPass);
    const double dumpMedian = median(dumpPass);
    const double ssMedian = median(ss);
    const double ratio = passMedian > 0 ? ssMedian / passMedian : 0;
    const double dumpRatio = dumpMedian > 0 ? ssMedian / dumpMedian : 0;
    std::printf(
        "TCP table: %zu IPv4 rows (%d connections held by a helper, 1 by the game)\n", tableRows, count);
    std::printf(
        "steady state   processAlive + connectionExists              median %9.1f us CPU\n", steadyMedian);
    std::printf(
        "full pass      processIdsMatching + readTcpTable + pick     median %9.1f us CPU\n", passMedian);
    std::printf(
        "  with dump    same, table dumped (no ptrace rights)        median %9.1f us CPU\n", dumpMedian);
    std::printf(
        "reference      ss -tnp state established                    median %9.1f us CPU\n", ssMedian);
    std::printf("ratio          ss / full pass                               %9.1fx\n", ratio);
    std::printf("ratio          ss / full pass with dump                     %9.1fx\n", dumpRatio);
    std::printf("goals          steady < 1 ms: %s, full pass < 10 ms: %s, >= 5x cheaper than ss: %s\n",
        steadyMedian < 1000 ? "met" : "MISSED", passMedian < 10000 ? "met" : "MISSED",
        ratio >= 5 ? "met" : "MISSED");
    if (misses) {
        std::fprintf(stderr, "bench_discovery: the known connection was missed %d times\n", misses);
        return 1;
    }
    return 0;
}
