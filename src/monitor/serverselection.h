#pragma once

// The fixed rule that picks the game's server connection out of the TCP table.

#include "platform/platform.h"

#include <QString>

#include <cstdint>
#include <vector>

struct GameServer
{
    bool found = false;
    QString address; // dotted IPv4
    quint16 port = 0;
    quint32 pid = 0;
    platform::TcpRow row; // the table row it came from
};

namespace ServerSelection {

// Executable-name fragments that mark a game client process.
const std::vector<std::string> &gameProcessNames();

// Remote ports the game's servers listen on: 9, 7777-7778, 27000-27100, 9000-10000.
bool isGamePort(quint16 port);

// Whole addresses (host order) that never count as a game server.
bool isExcludedAddress(uint32_t hostOrderAddress);

// Walks the rows in table order; the first established row of one of pids whose
// remote end passes both filters is the game server. Later rows are not looked at.
GameServer select(const std::vector<platform::TcpRow> &rows, const std::vector<uint32_t> &pids);

} // namespace ServerSelection
