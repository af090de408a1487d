#include "monitor/discoverysource.h"

#include <algorithm>

std::vector<uint32_t> PlatformDiscoverySource::findGameProcesses()
{
    const bool periodicScan = ++m_processCalls % kFullScanInterval == 0;
    const bool allAlive = !m_knownPids.empty()
        && std::all_of(
            m_knownPids.begin(), m_knownPids.end(), [](uint32_t pid) { return platform::processAlive(pid); });
    if (!allAlive || periodicScan)
        m_knownPids = platform::processIdsMatching(ServerSelection::gameProcessNames());
    return m_knownPids;
}

GameServer PlatformDiscoverySource::findServer(const std::vector<uint32_t> &pids)
{
    const bool periodicScan = ++m_serverCalls % kFullScanInterval == 0;
    const bool ownerStillThere
        = m_knownServer.found && std::find(pids.begin(), pids.end(), m_knownServer.pid) != pids.end();
    if (ownerStillThere && !periodicScan && platform::connectionExists(m_knownServer.row))
        return m_knownServer;

    m_knownServer = GameServer();
    if (pids.empty())
        return m_knownServer;
    std::vector<platform::TcpRow> rows;
    if (!platform::readTcpTable(rows, pids))
        return m_knownServer;
    m_knownServer = ServerSelection::select(rows, pids);
    return m_knownServer;
}
