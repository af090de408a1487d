#pragma once

// The operating-system layer: process list, TCP table, adapters, privileges and
// process termination. Plain C++17 so that both halves build without Qt
// (the Windows half is also cross-built with mingw-w64 and tested under Wine).

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// TCP connection states, numbered as the Windows TCP table numbers them.
enum TcpState : uint32_t
{
    TcpClosed = 1,
    TcpListen = 2,
    TcpSynSent = 3,
    TcpSynReceived = 4,
    TcpEstablished = 5,
    TcpFinWait1 = 6,
    TcpFinWait2 = 7,
    TcpCloseWait = 8,
    TcpClosing = 9,
    TcpLastAck = 10,
    TcpTimeWait = 11,
    TcpDeleteTcb = 12,
};

// One IPv4 connection with its owning process. Addresses and ports in host order.
struct TcpRow
{
    uint32_t state = 0;
    uint32_t localAddr = 0;
    uint16_t localPort = 0;
    uint32_t remoteAddr = 0;
    uint16_t remotePort = 0;
    uint32_t pid = 0;
};

enum class AdapterType
{
    Other,
    Ethernet,
    Wireless
};

struct Adapter
{
    std::string name;
    AdapterType type = AdapterType::Other;
    unsigned hardwareAddressLength = 0;
    std::string hardwareAddress; // "aa:bb:cc:dd:ee:ff", empty when there is none
    std::string firstIpv4; // dotted form, empty when the adapter has none (Windows' "0.0.0.0")
};

// Ids of running processes whose executable name contains one of nameParts,
// compared without regard to letter case (ASCII). Snapshot order. Empty on failure.
// On Linux the name is the kernel's process name (comm) or the base name of
// argv[0], which under Wine/Proton is a Windows path ("C:\\...\\rf4_x64.exe").
std::vector<uint32_t> processIdsMatching(const std::vector<std::string> &nameParts);

// Reads the IPv4 TCP table with owning pids. Only the sockets of the given
// processes need owners. An empty pid list asks for the whole table with the
// owners of all rows. On Linux, with a pid list:
//  - the rows are read from those processes' own sockets when the kernel lets
//    this process copy their descriptors (root, or ptrace rights): only their
//    rows are returned, in no particular order, and no table dump is needed;
//  - otherwise the whole table is dumped and rows of other processes carry pid 0;
//  - sockets that a Wine prefix's wineserver holds for one of the given
//    processes are reported as that process's.
// Returns false when the table cannot be read.
bool readTcpTable(std::vector<TcpRow> &rows, const std::vector<uint32_t> &ownerPids = {});

// Linux: lets readTcpTable read sockets through descriptor copies (the default).
// Turned off by tests and benchmarks to exercise the table dump. No effect on Windows.
void setDirectSocketReads(bool enabled);

// Cheap check that one exact connection (4-tuple) still exists in the given
// state; the owner is not checked. Meant for the once-a-second confirmation of a
// known connection: an exact kernel lookup on Linux, a table scan on Windows.
bool connectionExists(const TcpRow &row);

// Is the process still running? A zombie (ended, not yet reaped) counts as ended.
bool processAlive(uint32_t pid);

// Network adapters in the system's order (Linux: interface index order), the
// loopback left out. Empty when the list cannot be read.
std::vector<Adapter> adapters();

// Elevated: on Windows the token's elevation flag. On Linux, effective CAP_NET_ADMIN, or an
// installed firewall helper (installedFirewallHelper) that changes the firewall for us.
bool isProcessElevated();
// Member of Administrators (Windows) / holds CAP_NET_ADMIN (Linux).
bool isUserAdmin();

// Linux: the path of the firewall helper installed with this program
// (<prefix>/libexec/kestrel/kestrel-firewall-helper for <prefix>/bin/KESTREL) when pkexec can
// start it under the polkit actions shipped for it: the helper is an executable file,
// pkexec is installed, and the package's polkit action file names exactly that helper.
// Empty otherwise, and always on Windows.
std::string installedFirewallHelper();

// Lets the child programs this process starts (nft) use the firewall right it holds.
// Linux: a non-root program given CAP_NET_ADMIN by setcap keeps it only for itself;
// raising it as an ambient capability passes it on. Returns whether children have it.
// Windows: children inherit the elevated token; always true there.
bool passFirewallRightToChildren();

// Ends the processes of the calling user whose executable is the file at exePath (UTF-8),
// except the calling process; copies of the program in other folders and other users'
// processes are left alone. Linux: SIGTERM, then SIGKILL for those still running after
// 1.5 s. Windows: TerminateProcess with exit code 0, then waits for each to be gone so that
// its file is free. Returns how many were ended (their ids appended to endedPids when
// given), or -1 when the process list cannot be read.
int terminateProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids = nullptr);

std::string ipv4ToString(uint32_t hostOrderAddr);

} // namespace platform
