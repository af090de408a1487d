#pragma once

// Where discovery gets its facts: the game's processes and its server connection.
// The real source asks the operating system; tests script one.

#include "monitor/serverselection.h"

#include <QtGlobal>

#include <memory>

class DiscoverySource
{
public:
    virtual ~DiscoverySource() = default;

    // Ids of every running game client process (empty when none or on failure).
    virtual std::vector<uint32_t> findGameProcesses() = 0;
    // The game's server connection among the TCP connections of pids.
    virtual GameServer findServer(const std::vector<uint32_t> &pids) = 0;
};

// Asks the operating system. Between full scans it keeps what it found last: while
// the known game processes live, the process list is not walked again, and while
// the known connection still stands, the TCP table is not read again. A full scan
// runs whenever one of them is gone, and at least every kFullScanInterval calls so
// that a second game process or a better connection is not missed for long.
// On Windows checking one connection means reading the whole table anyway, so every
// call is a full scan there.
class PlatformDiscoverySource final : public DiscoverySource
{
public:
#ifdef Q_OS_WIN
    static constexpr int kFullScanInterval = 1;
#else
    static constexpr int kFullScanInterval = 15;
#endif

    std::vector<uint32_t> findGameProcesses() override;
    GameServer findServer(const std::vector<uint32_t> &pids) override;

private:
    std::vector<uint32_t> m_knownPids;
    GameServer m_knownServer;
    int m_processCalls = 0;
    int m_serverCalls = 0;
};
