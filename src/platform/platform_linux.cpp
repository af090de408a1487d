#include "platform/platform.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/capability.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace platform {
namespace {

// ---------------------------------------------------------------------------------------------
// Small file helpers. Files under /proc are opened relative to one /proc descriptor, which spares
// a path walk from the root for each of the few hundred files a discovery pass reads.

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) { }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Reads up to size bytes; returns the byte count or -1.
ssize_t readAt(int dirFd, const char *path, char *buffer, size_t size)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<size_t>(total) < size) {
        const ssize_t n = ::read(fd, buffer + total, size - static_cast<size_t>(total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

std::string readText(int dirFd, const char *path, size_t limit = 4096)
{
    std::string text(limit, '\0');
    const ssize_t n = readAt(dirFd, path, &text[0], limit);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
        text.pop_back();
    return text;
}

std::string toLower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Base name of a path that may be a Unix path or, under Wine, a Windows path.
std::string baseName(const std::string &path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool parsePid(const char *name, uint32_t &pid)
{
    if (!name[0])
        return false;
    uint32_t value = 0;
    for (const char *p = name; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(*p - '0');
    }
    pid = value;
    return value != 0;
}

template<typename F> void forEachPid(int procFd, F &&visit)
{
    const int dupFd = ::dup(procFd);
    if (dupFd < 0)
        return;
    DIR *dir = ::fdopendir(dupFd);
    if (!dir) {
        ::close(dupFd);
        return;
    }
    while (dirent *entry = ::readdir(dir)) {
        uint32_t pid = 0;
        if (parsePid(entry->d_name, pid) && !visit(pid))
            break;
    }
    ::closedir(dir);
}

Fd openProc()
{
    return Fd(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

struct ProcStat
{
    char state = 0;
    unsigned long long startTime = 0;
};

// /proc/PID/stat: the name in parentheses may itself hold blanks and parentheses, so the fields
// are counted from the last ')'.
bool readStat(int procFd, uint32_t pid, ProcStat &stat)
{
    char path[32];
    std::snprintf(path, sizeof path, "%u/stat", pid);
    char buffer[1024];
    const ssize_t n = readAt(procFd, path, buffer, sizeof buffer - 1);
    if (n <= 0)
        return false;
    buffer[n] = '\0';
    const char *close = std::strrchr(buffer, ')');
    if (!close || close[1] != ' ')
        return false;
    stat.state = close[2];
    // After the state: ppid pgrp session tty_nr tpgid flags minflt cminflt majflt cmajflt utime stime
    // cutime cstime priority nice num_threads itrealvalue starttime (field 22 of the whole line).
    const char *p = close + 3;
    for (int field = 0; field < 18 && *p; ++field) {
        p = std::strchr(p, ' ');
        if (!p)
            return false;
        ++p;
    }
    stat.startTime = std::strtoull(p, nullptr, 10);
    return true;
}

bool isGone(char state)
{
    return state == 'Z' || state == 'X' || state == 'x';
}

struct ProcessNames
{
    std::string comm; // kernel name, at most 15 characters
    std::string argv0; // base name of argv[0], split on '/' and '\'
};

ProcessNames readNames(int procFd, uint32_t pid)
{
    char path[32];
    ProcessNames names;
    std::snprintf(path, sizeof path, "%u/comm", pid);
    names.comm = readText(procFd, path, 64);
    std::snprintf(path, sizeof path, "%u/cmdline", pid);
    char buffer[4096];
    const ssize_t n = readAt(procFd, path, buffer, sizeof buffer);
    if (n > 0)
        names.argv0 = baseName(std::string(buffer, strnlen(buffer, static_cast<size_t>(n))));
    return names;
}

// ---------------------------------------------------------------------------------------------
// TCP table.

// Linux socket states (include/net/tcp_states.h) in the Windows numbering.
uint32_t windowsState(unsigned linuxState)
{
    switch (linuxState) {
    case 1:
        return TcpEstablished;
    case 2:
        return TcpSynSent;
    case 3:
        return TcpSynReceived;
    case 4:
        return TcpFinWait1;
    case 5:
        return TcpFinWait2;
    case 6:
        return TcpTimeWait;
    case 7:
        return TcpClosed;
    case 8:
        return TcpCloseWait;
    case 9:
        return TcpLastAck;
    case 10:
        return TcpListen;
    case 11:
        return TcpClosing;
    case 12:
        return TcpSynReceived; // request socket (NEW_SYN_RECV)
    default:
        return TcpClosed;
    }
}

struct RawRow
{
    TcpRow row;
    uint64_t inode = 0;
};

class DiagSocket
{
public:
    DiagSocket() : m_fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) { }
    bool valid() const { return m_fd.valid(); }

    bool send(const inet_diag_req_v2 &request, bool dump)
    {
        struct
        {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message {};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0));
        message.header.nlmsg_seq = ++m_seq;
        message.request = request;
        sockaddr_nl kernel {};
        kernel.nl_family = AF_NETLINK;
        for (;;) {
            const ssize_t n = ::sendto(m_fd.get(), &message, sizeof message, 0,
                reinterpret_cast<sockaddr *>(&kernel), sizeof kernel);
            if (n == static_cast<ssize_t>(sizeof message))
                return true;
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
    }

    // Calls onMessage for every inet_diag_msg of the reply. Returns false on an error reply
    // (including "no such socket" for an exact lookup) or a receive failure.
    template<typename F> bool receive(F &&onMessage)
    {
        alignas(nlmsghdr) static thread_local char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            int left = static_cast<int>(n);
            for (auto *header = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(header, left);
                 header = NLMSG_NEXT(header, left)) {
                if (header->nlmsg_seq != m_seq)
                    continue;
                if (header->nlmsg_type == NLMSG_DONE)
                    return true;
                if (header->nlmsg_type == NLMSG_ERROR)
                    return false;
                if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY
                    || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                    continue;
                onMessage(*static_cast<const inet_diag_msg *>(NLMSG_DATA(header)));
                if (!(header->nlmsg_flags & NLM_F_MULTI))
                    return true;
            }
        }
    }

private:
    Fd m_fd;
    uint32_t m_seq = 0;
};

RawRow rowFromDiag(const inet_diag_msg &msg)
{
    RawRow raw;
    raw.row.state = windowsState(msg.idiag_state);
    raw.row.localAddr = ntohl(msg.id.idiag_src[0]);
    raw.row.localPort = ntohs(msg.id.idiag_sport);
    raw.row.remoteAddr = ntohl(msg.id.idiag_dst[0]);
    raw.row.remotePort = ntohs(msg.id.idiag_dport);
    raw.inode = msg.idiag_inode;
    return raw;
}

// A sock_diag request for IPv4 TCP sockets in any state.
inet_diag_req_v2 ipv4TcpRequest()
{
    inet_diag_req_v2 request {};
    request.sdiag_family = AF_INET;
    request.sdiag_protocol = IPPROTO_TCP;
    request.idiag_states = ~0U;
    return request;
}

bool dumpWithNetlink(std::vector<RawRow> &out)
{
    DiagSocket diag;
    if (!diag.valid())
        return false;
    inet_diag_req_v2 request = ipv4TcpRequest();
    if (!diag.send(request, true))
        return false;
    return diag.receive([&](const inet_diag_msg &msg) { out.push_back(rowFromDiag(msg)); });
}

// Fallback for kernels without inet_diag: the text table. Addresses are the raw network-order
// words printed in hex, ports are printed in host order.
bool dumpWithProcNet(std::vector<RawRow> &out)
{
    FILE *file = std::fopen("/proc/net/tcp", "re");
    if (!file)
        return false;
    char line[512];
    bool header = true;
    while (std::fgets(line, sizeof line, file)) {
        if (header) {
            header = false;
            continue;
        }
        unsigned localAddr = 0, localPort = 0, remoteAddr = 0, remotePort = 0, state = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line, " %*u: %8x:%4x %8x:%4x %2x %*x:%*x %*x:%*x %*x %*u %*u %llu", &localAddr,
                &localPort, &remoteAddr, &remotePort, &state, &inode)
            != 6)
            continue;
        RawRow raw;
        raw.row.state = windowsState(state);
        raw.row.localAddr = ntohl(localAddr);
        raw.row.localPort = static_cast<uint16_t>(localPort);
        raw.row.remoteAddr = ntohl(remoteAddr);
        raw.row.remotePort = static_cast<uint16_t>(remotePort);
        raw.inode = inode;
        out.push_back(raw);
    }
    std::fclose(file);
    return true;
}

// Sockets of the processes asked about: who holds the descriptor, and whose row it is.
struct SocketRef
{
    uint32_t holder = 0; // process holding the descriptor (the wineserver for a Wine game)
    int fd = -1;
    uint64_t inode = 0;
    uint32_t owner = 0; // pid the row is reported for
};

class SocketOwners
{
public:
    // The first holder of an inode wins, so a socket a game holds itself is never re-attributed.
    void add(uint32_t holder, int fd, uint64_t inode, uint32_t owner)
    {
        if (m_index.emplace(inode, m_refs.size()).second)
            m_refs.push_back({holder, fd, inode, owner});
    }
    uint32_t ownerOf(uint64_t inode) const
    {
        const auto found = m_index.find(inode);
        return found == m_index.end() ? 0 : m_refs[found->second].owner;
    }
    const std::vector<SocketRef> &refs() const { return m_refs; }

private:
    std::unordered_map<uint64_t, size_t> m_index;
    std::vector<SocketRef> m_refs;
};

// Adds the "socket:[inode]" descriptors of pid, attributed to owner.
void collectSockets(int procFd, uint32_t pid, uint32_t owner, SocketOwners &owners)
{
    char path[32];
    std::snprintf(path, sizeof path, "%u/fd", pid);
    const int fdDirFd = ::openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDirFd < 0)
        return;
    DIR *dir = ::fdopendir(fdDirFd);
    if (!dir) {
        ::close(fdDirFd);
        return;
    }
    char target[64];
    while (dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const ssize_t n = ::readlinkat(fdDirFd, entry->d_name, target, sizeof target - 1);
        if (n < 9 || std::memcmp(target, "socket:[", 8) != 0)
            continue;
        target[n] = '\0';
        const uint64_t inode = std::strtoull(target + 8, nullptr, 10);
        if (inode)
            owners.add(pid, std::atoi(entry->d_name), inode, owner);
    }
    ::closedir(dir);
}

// Reads the rows of the collected sockets from the sockets themselves: a copy of each descriptor
// (pidfd_getfd) answers its addresses and state. This costs microseconds per socket, where a dump
// of the whole table walks every hash bucket and every connection of the machine. Returns false
// when copying is not allowed (no ptrace access to the holder) or not supported by the kernel; the
// caller then dumps the table.
bool readRowsDirectly(const std::vector<SocketRef> &refs, std::vector<TcpRow> &rows)
{
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_getfd)
    uint32_t openFor = 0;
    Fd pidFd;
    for (const SocketRef &ref : refs) {
        if (ref.holder != openFor || !pidFd.valid()) {
            pidFd.reset(static_cast<int>(::syscall(SYS_pidfd_open, ref.holder, 0)));
            openFor = ref.holder;
            if (!pidFd.valid()) {
                if (errno == ESRCH)
                    continue; // ended meanwhile: it holds nothing any more
                return false;
            }
        }
        const Fd copy(static_cast<int>(::syscall(SYS_pidfd_getfd, pidFd.get(), ref.fd, 0)));
        if (!copy.valid()) {
            if (errno == EBADF || errno == ESRCH)
                continue; // closed or ended meanwhile
            return false;
        }
        struct stat info = {};
        int domain = 0, protocol = 0;
        socklen_t length = sizeof domain;
        if (::fstat(copy.get(), &info) != 0 || info.st_ino != ref.inode
            || ::getsockopt(copy.get(), SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0 || domain != AF_INET)
            continue;
        length = sizeof protocol;
        if (::getsockopt(copy.get(), SOL_SOCKET, SO_PROTOCOL, &protocol, &length) != 0
            || protocol != IPPROTO_TCP)
            continue;
        sockaddr_in local {}, remote {};
        length = sizeof local;
        if (::getsockname(copy.get(), reinterpret_cast<sockaddr *>(&local), &length) != 0)
            continue;
        // SO_PEERNAME, unlike getpeername(), also answers while the connect is in SYN-SENT.
        length = sizeof remote;
        if (::getsockopt(copy.get(), SOL_SOCKET, SO_PEERNAME, &remote, &length) != 0)
            remote = sockaddr_in {};
        tcp_info tcp {};
        length = sizeof tcp;
        // Sockets that are only created or bound are in no table; the dump leaves them out too.
        if (::getsockopt(copy.get(), IPPROTO_TCP, TCP_INFO, &tcp, &length) != 0
            || tcp.tcpi_state == 7 /* CLOSE */)
            continue;
        TcpRow row;
        row.state = windowsState(tcp.tcpi_state);
        row.localAddr = ntohl(local.sin_addr.s_addr);
        row.localPort = ntohs(local.sin_port);
        row.remoteAddr = ntohl(remote.sin_addr.s_addr);
        row.remotePort = ntohs(remote.sin_port);
        row.pid = ref.owner;
        rows.push_back(row);
    }
    return true;
#else
    (void)refs;
    (void)rows;
    return false;
#endif
}

// ---------------------------------------------------------------------------------------------
// Wine. A Windows program run by Wine does not hold its sockets: the prefix's wineserver creates
// and keeps them, and lends the client a descriptor only for the duration of a call. Such sockets
// are attributed to the game like this:
//  1. A candidate is a Wine process when its executable (/proc/PID/exe) is a Wine loader or
//     preloader (base name starting with "wine"), as it is for Wine, Wine-staging and Proton.
//  2. The game's prefix is WINEPREFIX from its initial environment, or HOME/.wine when unset.
//     Wine names the wineserver's directory "server-<dev>-<inode>" after the prefix's device and
//     inode, and the wineserver runs with that directory as its working directory. The wineserver
//     whose working directory has that name serves the game: exact even with several prefixes,
//     users or Proton versions running side by side.
//  3. When the prefix cannot be resolved from here (another mount namespace, unreadable environ),
//     a wineserver of the game's user is used if it is that user's only one.
// Every socket of that wineserver counts as the game's, so other Windows programs running in the
// same prefix (a launcher, a browser) are attributed to the game as well.

bool isWineLoader(int procFd, uint32_t pid)
{
    char path[32];
    char target[512];
    std::snprintf(path, sizeof path, "%u/exe", pid);
    const ssize_t n = ::readlinkat(procFd, path, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    return baseName(target).compare(0, 4, "wine") == 0;
}

uid_t processUid(int procFd, uint32_t pid)
{
    char path[32];
    std::snprintf(path, sizeof path, "%u", pid);
    struct stat info = {};
    return ::fstatat(procFd, path, &info, 0) == 0 ? info.st_uid : static_cast<uid_t>(-1);
}

std::string environValue(const std::string &environ, const std::string &name)
{
    const std::string key = name + "=";
    size_t pos = 0;
    while (pos < environ.size()) {
        const size_t end = environ.find('\0', pos);
        const size_t stop = end == std::string::npos ? environ.size() : end;
        if (environ.compare(pos, key.size(), key) == 0)
            return environ.substr(pos + key.size(), stop - pos - key.size());
        pos = stop + 1;
    }
    return {};
}

// "server-<dev>-<inode>" of the prefix a Wine process runs in; empty when it cannot be resolved.
std::string wineServerDirName(int procFd, uint32_t pid)
{
    char path[32];
    std::snprintf(path, sizeof path, "%u/environ", pid);
    std::string environ(64 * 1024, '\0');
    const ssize_t n = readAt(procFd, path, &environ[0], environ.size());
    if (n <= 0)
        return {};
    environ.resize(static_cast<size_t>(n));
    std::string prefix = environValue(environ, "WINEPREFIX");
    if (prefix.empty()) {
        const std::string home = environValue(environ, "HOME");
        if (home.empty())
            return {};
        prefix = home + "/.wine";
    }
    struct stat info = {};
    // Through the game's own root first, so a game in another mount namespace resolves too.
    const std::string viaRoot = "/proc/" + std::to_string(pid) + "/root" + prefix;
    if (::stat(viaRoot.c_str(), &info) != 0 && ::stat(prefix.c_str(), &info) != 0)
        return {};
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
        static_cast<unsigned long long>(info.st_ino));
    return name;
}

struct WineServer
{
    uint32_t pid = 0;
    uid_t uid = 0;
    std::string dirName;
};

std::vector<WineServer> findWineServers(int procFd)
{
    std::vector<WineServer> servers;
    forEachPid(procFd, [&](uint32_t pid) {
        char path[32];
        std::snprintf(path, sizeof path, "%u/comm", pid);
        char comm[32];
        const ssize_t n = readAt(procFd, path, comm, sizeof comm);
        if (n >= 10 && std::memcmp(comm, "wineserver", 10) == 0) {
            WineServer server;
            server.pid = pid;
            server.uid = processUid(procFd, pid);
            char target[512];
            std::snprintf(path, sizeof path, "%u/cwd", pid);
            const ssize_t len = ::readlinkat(procFd, path, target, sizeof target - 1);
            if (len > 0)
                server.dirName = baseName(std::string(target, static_cast<size_t>(len)));
            servers.push_back(server);
        }
        return true;
    });
    return servers;
}

void collectWineOwners(int procFd, const std::vector<uint32_t> &gamePids, SocketOwners &owners)
{
    std::vector<WineServer> servers;
    bool serversRead = false;
    std::unordered_set<uint32_t> scanned;
    for (uint32_t game : gamePids) {
        if (!isWineLoader(procFd, game))
            continue;
        if (!serversRead) {
            servers = findWineServers(procFd);
            serversRead = true;
        }
        const std::string dirName = wineServerDirName(procFd, game);
        const WineServer *chosen = nullptr;
        if (!dirName.empty()) {
            for (const WineServer &server : servers) {
                if (server.dirName == dirName)
                    chosen = &server;
            }
        }
        if (!chosen) {
            const uid_t uid = processUid(procFd, game);
            int sameUser = 0;
            for (const WineServer &server : servers) {
                if (server.uid == uid) {
                    ++sameUser;
                    chosen = &server;
                }
            }
            if (sameUser != 1)
                chosen = nullptr;
        }
        // Two games in one prefix: the first one listed keeps the shared sockets.
        if (chosen && scanned.insert(chosen->pid).second)
            collectSockets(procFd, chosen->pid, game, owners);
    }
}

bool readCapEffBit(int bit)
{
    FILE *file = std::fopen("/proc/self/status", "re");
    if (!file)
        return false;
    char line[256];
    bool set = false;
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "CapEff:", 7) == 0) {
            const unsigned long long caps = std::strtoull(line + 7, nullptr, 16);
            set = (caps >> bit) & 1ULL;
            break;
        }
    }
    std::fclose(file);
    return set;
}

std::atomic<bool> g_directSocketReads {true};

constexpr char kPkexec[] = "/usr/bin/pkexec";

bool firewallHelperUsable(const std::string &helperPath, const std::string &policyPath)
{
    struct stat info = {};
    if (helperPath.empty() || ::stat(helperPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)
        || ::access(helperPath.c_str(), X_OK) != 0 || ::access(kPkexec, X_OK) != 0)
        return false;
    // pkexec picks the action whose exec.path is the program's exact path; without one
    // it falls back to a generic action that asks for a password even to read the status.
    FILE *file = std::fopen(policyPath.c_str(), "re");
    if (!file)
        return false;
    std::string policy;
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0 && policy.size() < (1u << 20))
        policy.append(buffer, count);
    std::fclose(file);
    return policy.find("policykit.exec.path\">" + helperPath + "<") != std::string::npos;
}

} // namespace

// ---------------------------------------------------------------------------------------------

void setDirectSocketReads(bool enabled)
{
    g_directSocketReads = enabled;
}

std::vector<uint32_t> processIdsMatching(const std::vector<std::string> &nameParts)
{
    std::vector<uint32_t> pids;
    const Fd procFd = openProc();
    if (!procFd.valid())
        return pids;
    std::vector<std::string> parts;
    for (const std::string &part : nameParts) {
        if (!part.empty())
            parts.push_back(toLower(part));
    }
    if (parts.empty())
        return pids;
    forEachPid(procFd.get(), [&](uint32_t pid) {
        const ProcessNames names = readNames(procFd.get(), pid);
        const std::string comm = toLower(names.comm);
        const std::string argv0 = toLower(names.argv0);
        const bool matches = std::any_of(parts.begin(), parts.end(), [&](const std::string &part) {
            return comm.find(part) != std::string::npos || argv0.find(part) != std::string::npos;
        });
        ProcStat stat;
        if (matches && readStat(procFd.get(), pid, stat) && !isGone(stat.state))
            pids.push_back(pid);
        return true;
    });
    return pids;
}

bool readTcpTable(std::vector<TcpRow> &rows, const std::vector<uint32_t> &ownerPids)
{
    rows.clear();
    SocketOwners owners;
    const Fd procFd = openProc();
    if (procFd.valid()) {
        if (ownerPids.empty()) {
            forEachPid(procFd.get(), [&](uint32_t pid) {
                collectSockets(procFd.get(), pid, pid, owners);
                return true;
            });
        } else {
            for (uint32_t pid : ownerPids)
                collectSockets(procFd.get(), pid, pid, owners);
            collectWineOwners(procFd.get(), ownerPids, owners);
            if (g_directSocketReads && readRowsDirectly(owners.refs(), rows))
                return true;
            rows.clear();
        }
    }

    std::vector<RawRow> raw;
    raw.reserve(256);
    if (!dumpWithNetlink(raw)) {
        raw.clear();
        if (!dumpWithProcNet(raw))
            return false;
    }
    rows.reserve(raw.size());
    for (RawRow &entry : raw) {
        if (entry.inode)
            entry.row.pid = owners.ownerOf(entry.inode);
        rows.push_back(entry.row);
    }
    return true;
}

bool connectionExists(const TcpRow &row)
{
    DiagSocket diag;
    if (!diag.valid())
        return false;
    inet_diag_req_v2 request = ipv4TcpRequest();
    request.id.idiag_src[0] = htonl(row.localAddr);
    request.id.idiag_sport = htons(row.localPort);
    request.id.idiag_dst[0] = htonl(row.remoteAddr);
    request.id.idiag_dport = htons(row.remotePort);
    request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    if (!diag.send(request, false))
        return false;
    // The kernel falls back to a listening socket on the local port when the connection is gone,
    // so the answer's own 4-tuple and state are compared.
    bool found = false;
    diag.receive([&](const inet_diag_msg &msg) {
        const RawRow answer = rowFromDiag(msg);
        found = answer.row.state == row.state && answer.row.localAddr == row.localAddr
            && answer.row.localPort == row.localPort && answer.row.remoteAddr == row.remoteAddr
            && answer.row.remotePort == row.remotePort;
    });
    return found;
}

bool processAlive(uint32_t pid)
{
    if (pid == 0)
        return false;
    const Fd procFd = openProc();
    ProcStat stat;
    return procFd.valid() && readStat(procFd.get(), pid, stat) && !isGone(stat.state);
}

std::vector<Adapter> adapters()
{
    std::unordered_map<std::string, std::string> firstIpv4;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
            if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
                continue;
            // Secondary addresses carry a label such as "eth0:1".
            std::string name = entry->ifa_name;
            name = name.substr(0, name.find(':'));
            char text[INET_ADDRSTRLEN] = {};
            const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
            if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
                firstIpv4.emplace(name, text);
        }
        ::freeifaddrs(list);
    }

    struct Entry
    {
        int index;
        Adapter adapter;
    };
    std::vector<Entry> entries;
    const Fd netFd(::open("/sys/class/net", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!netFd.valid())
        return {};
    const int dupFd = ::dup(netFd.get());
    DIR *dir = dupFd >= 0 ? ::fdopendir(dupFd) : nullptr;
    if (!dir) {
        if (dupFd >= 0)
            ::close(dupFd);
        return {};
    }
    while (dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        const Fd devFd(::openat(netFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!devFd.valid())
            continue;
        const unsigned long flags = std::strtoul(readText(devFd.get(), "flags", 64).c_str(), nullptr, 16);
        const int type = std::atoi(readText(devFd.get(), "type", 64).c_str());
        if ((flags & IFF_LOOPBACK) || type == 772 /* ARPHRD_LOOPBACK */)
            continue;
        Entry item;
        item.index = std::atoi(readText(devFd.get(), "ifindex", 64).c_str());
        Adapter &adapter = item.adapter;
        adapter.name = name;
        struct stat info = {};
        if (::fstatat(devFd.get(), "wireless", &info, 0) == 0
            || ::fstatat(devFd.get(), "phy80211", &info, 0) == 0)
            adapter.type = AdapterType::Wireless;
        else if (type == 1 /* ARPHRD_ETHER */)
            adapter.type = AdapterType::Ethernet;
        const int length = std::atoi(readText(devFd.get(), "addr_len", 64).c_str());
        adapter.hardwareAddressLength = length > 0 ? static_cast<unsigned>(length) : 0;
        if (adapter.hardwareAddressLength)
            adapter.hardwareAddress = readText(devFd.get(), "address", 256);
        const auto ip = firstIpv4.find(name);
        if (ip != firstIpv4.end())
            adapter.firstIpv4 = ip->second;
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(
        entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.index < b.index; });
    std::vector<Adapter> result;
    result.reserve(entries.size());
    for (Entry &entry : entries)
        result.push_back(std::move(entry.adapter));
    return result;
}

bool isProcessElevated()
{
    return readCapEffBit(12 /* CAP_NET_ADMIN */) || !installedFirewallHelper().empty();
}

std::string installedFirewallHelper()
{
    char exe[PATH_MAX] = {};
    const ssize_t size = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (size <= 0)
        return {};
    std::string path(exe, size_t(size));
    path = path.substr(0, path.rfind('/') + 1) + KESTREL_HELPER_FROM_BINDIR;
    char resolved[PATH_MAX] = {};
    if (!::realpath(path.c_str(), resolved))
        return {};
    return firewallHelperUsable(resolved, KESTREL_POLKIT_POLICY) ? std::string(resolved) : std::string();
}

bool isUserAdmin()
{
    return readCapEffBit(12 /* CAP_NET_ADMIN */);
}

bool passFirewallRightToChildren()
{
    if (::geteuid() == 0)
        return true; // root's children keep root's rights
    if (!readCapEffBit(CAP_NET_ADMIN))
        return false;
    __user_cap_header_struct header {};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    // An ambient capability must also be inheritable; a permitted one may be made so.
    data[CAP_TO_INDEX(CAP_NET_ADMIN)].inheritable |= CAP_TO_MASK(CAP_NET_ADMIN);
    if (::syscall(SYS_capset, &header, data) != 0)
        return false;
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0) == 0;
}

int terminateProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids)
{
    char wanted[PATH_MAX];
    if (!::realpath(exePath.c_str(), wanted))
        return errno == ENOENT ? 0 : -1;
    const Fd procFd = openProc();
    if (!procFd.valid())
        return -1;
    const uint32_t self = static_cast<uint32_t>(::getpid());
    const uid_t user = ::geteuid();

    struct Victim
    {
        uint32_t pid;
        unsigned long long startTime;
    };
    std::vector<Victim> victims;
    forEachPid(procFd.get(), [&](uint32_t pid) {
        // Another user's copy, even of this very file, is not ours to end.
        if (pid == self || processUid(procFd.get(), pid) != user)
            return true;
        char path[48];
        std::snprintf(path, sizeof path, "%u/exe", pid);
        char exe[PATH_MAX];
        const ssize_t length = ::readlinkat(procFd.get(), path, exe, sizeof exe - 1);
        if (length <= 0)
            return true;
        exe[length] = '\0';
        ProcStat stat;
        if (std::strcmp(exe, wanted) == 0 && readStat(procFd.get(), pid, stat) && !isGone(stat.state)
            && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
            victims.push_back({pid, stat.startTime});
        return true;
    });

    // Same pid and same start time: still the process that was asked to end.
    const auto stillRunning = [&](const Victim &victim) {
        ProcStat stat;
        return readStat(procFd.get(), victim.pid, stat) && !isGone(stat.state)
            && stat.startTime == victim.startTime;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < deadline
        && std::any_of(victims.begin(), victims.end(), stillRunning))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    int ended = 0;
    for (const Victim &victim : victims) {
        if (stillRunning(victim) && ::kill(static_cast<pid_t>(victim.pid), SIGKILL) != 0)
            continue;
        ++ended;
        if (endedPids)
            endedPids->push_back(victim.pid);
    }
    return ended;
}

std::string ipv4ToString(uint32_t hostOrderAddr)
{
    char text[INET_ADDRSTRLEN];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (hostOrderAddr >> 24) & 0xFF,
        (hostOrderAddr >> 16) & 0xFF, (hostOrderAddr >> 8) & 0xFF, hostOrderAddr & 0xFF);
    return text;
}

} // namespace platform
