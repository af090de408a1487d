#include "monitor/serverselection.h"

#include <QHostAddress>

#include <algorithm>

namespace ServerSelection {

const std::vector<std::string> &gameProcessNames()
{
    static const std::vector<std::string> names {"rf4_x64.exe", "rf4.exe", "russian fishing 4"};
    return names;
}

bool isGamePort(quint16 port)
{
    return port == 9 || port == 7777 || port == 7778 || (port >= 27000 && port <= 27100)
        || (port >= 9000 && port <= 10000);
}

bool isExcludedAddress(uint32_t a)
{
    // Compared as whole addresses, not as networks.
    return a == 0x7F000001u // 127.0.0.1
        || a == 0x0100007Fu // 1.0.0.127 (a loopback address read in the wrong byte order)
        || a == 0x00000000u // 0.0.0.0
        || a == 0xA9FE0000u // 169.254.0.0
        || a == 0xC0A80000u; // 192.168.0.0
}

GameServer select(const std::vector<platform::TcpRow> &rows, const std::vector<uint32_t> &pids)
{
    GameServer server;
    for (const platform::TcpRow &row : rows) {
        if (row.state != platform::TcpEstablished)
            continue;
        if (std::find(pids.begin(), pids.end(), row.pid) == pids.end())
            continue;
        if (isExcludedAddress(row.remoteAddr) || !isGamePort(row.remotePort))
            continue;
        server.found = true;
        server.address = QHostAddress(row.remoteAddr).toString();
        server.port = row.remotePort;
        server.pid = row.pid;
        server.row = row;
        break;
    }
    return server;
}

} // namespace ServerSelection
