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
    std::string firstIpv4; // dotted form, empty when the adapter has none
};

// Ids of running processes whose executable name contains one of nameParts,
// compared without regard to letter case. Snapshot order. Empty on failure.
std::vector<uint32_t> processIdsMatching(const std::vector<std::string> &nameParts);

// Reads the IPv4 TCP table with owning pids. Only the sockets of the given
// processes need owners; on Linux rows of other processes carry pid 0 (finding
// every owner would mean walking every process's descriptors). An empty pid
// list asks for owners of all rows. Returns false when the table cannot be read.
bool readTcpTable(std::vector<TcpRow> &rows, const std::vector<uint32_t> &ownerPids = {});

// Cheap check that one exact connection still exists in the given state
// (the once-a-second confirmation of a known connection).
bool connectionExists(const TcpRow &row);

// Is the process still alive (and, when nameParts is not empty, still matching)?
bool processAlive(uint32_t pid);

std::vector<Adapter> adapters();

// Elevated: on Windows the token's elevation flag, on Linux effective CAP_NET_ADMIN.
bool isProcessElevated();
// Member of Administrators (Windows) / holds CAP_NET_ADMIN (Linux).
bool isUserAdmin();

// Ends every process whose executable file name equals exeName (case-insensitive),
// except the calling process. Returns how many were ended.
int terminateProcessesNamed(const std::string &exeName);

std::string ipv4ToString(uint32_t hostOrderAddr);

} // namespace platform
