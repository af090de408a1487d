// Tests of the Windows platform layer, cross-built with mingw-w64 and run by Wine.
//
// Usage: tst_platform_win.exe            runs the checks, prints "N passed, M failed", exit 1 on failure
//        tst_platform_win.exe --linger   waits (used as the victim of the termination check)
//
// Wine reports owning pid 0 for sockets, so rows are recognised by their ports, not their pid.

#include "platform/platform.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_passed = 0;
int g_failed = 0;

void check(bool condition, const std::string &what)
{
    ++(condition ? g_passed : g_failed);
    std::printf("%s %s\n", condition ? "PASS  " : "FAIL! ", what.c_str());
    std::fflush(stdout);
}

std::string narrow(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

// Polls for a condition that Wine may make true a moment later (the wineserver closes sockets).
template<typename F> bool waitUntil(F &&condition, DWORD timeoutMs = 5000)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
    return true;
}

bool contains(const std::vector<uint32_t> &list, uint32_t value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

const platform::TcpRow *findRow(
    const std::vector<platform::TcpRow> &rows, uint32_t state, uint16_t localPort, uint16_t remotePort)
{
    for (const platform::TcpRow &row : rows) {
        if (row.state == state && row.localPort == localPort && row.remotePort == remotePort)
            return &row;
    }
    return nullptr;
}

uint16_t localPortOf(SOCKET s)
{
    sockaddr_in address {};
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.sin_port);
}

void testProcessSnapshot()
{
    const uint32_t self = GetCurrentProcessId();
    check(contains(platform::processIdsMatching({"tst_platform_win"}), self), "snapshot lists this program");
    check(contains(platform::processIdsMatching({"no_such_game.exe", "TST_PLATFORM_WIN.EXE"}), self),
        "any name part matches, without regard to case");
    check(
        platform::processIdsMatching({"no_such_game_anywhere.exe"}).empty(), "unknown name matches nothing");
    check(platform::processAlive(self), "this process is alive");
}

void testTcpTable()
{
    const uint32_t loopback = 0x7F000001;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopback);
    bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    listen(listener, 4);
    const uint16_t serverPort = localPortOf(listener);
    address.sin_port = htons(serverPort);
    std::vector<platform::TcpRow> rows;
    check(platform::readTcpTable(rows), "table read");
    const platform::TcpRow *listening = findRow(rows, platform::TcpListen, serverPort, 0);
    check(listening && listening->localAddr == loopback,
        "own listening socket 127.0.0.1:" + std::to_string(serverPort) + " found in host order");

    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const bool connected = connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    check(connected, "connected to own listener");
    SOCKET accepted = connected ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    const uint16_t clientPort = localPortOf(client);
    platform::readTcpTable(rows);
    check(
        findRow(rows, platform::TcpEstablished, serverPort, clientPort), "established server-side row found");
    const platform::TcpRow *row = findRow(rows, platform::TcpEstablished, clientPort, serverPort);
    check(row && row->remoteAddr == loopback && platform::ipv4ToString(row->remoteAddr) == "127.0.0.1",
        "established client row found, remote address in host order");
    if (row) {
        const platform::TcpRow known = *row;
        check(platform::connectionExists(known), "known connection exists");
        platform::TcpRow otherState = known;
        otherState.state = platform::TcpSynSent;
        check(!platform::connectionExists(otherState), "same 4-tuple in another state does not");
        closesocket(client);
        closesocket(accepted);
        check(waitUntil([&] { return !platform::connectionExists(known); }),
            "closed connection no longer exists");
    }
    closesocket(listener);
}

void testAdaptersAndToken()
{
    const std::vector<platform::Adapter> list = platform::adapters();
    bool wellFormed = true;
    for (const platform::Adapter &adapter : list) {
        const size_t expected = adapter.hardwareAddressLength ? adapter.hardwareAddressLength * 3 - 1 : 0;
        if (adapter.hardwareAddress.size() != expected || adapter.firstIpv4 == "0.0.0.0")
            wellFormed = false;
    }
    check(wellFormed, "adapters listed well-formed (" + std::to_string(list.size()) + ")");

    // Wine runs every program with an administrator token; a failed query would answer false.
    check(platform::isUserAdmin(), "Administrators membership answered");
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    const bool queried = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)
        && GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    if (token)
        CloseHandle(token);
    check(queried && platform::isProcessElevated() == (elevation.TokenIsElevated != 0),
        "elevation answered from the token");
}

void testTermination(const wchar_t *selfPath)
{
    std::wstring command = L"\"" + std::wstring(selfPath) + L"\" --linger";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child {};
    if (!CreateProcessW(
            nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        check(false, "victim started");
        return;
    }
    const uint32_t pid = child.dwProcessId;
    check(platform::processAlive(pid), "victim alive");
    std::vector<uint32_t> ended;
    check(platform::terminateProgramAt(narrow(selfPath), &ended) == 1 && ended == std::vector {pid},
        "one process ended, never the caller");
    DWORD code = 1;
    check(WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0
            && GetExitCodeProcess(child.hProcess, &code) && code == 0,
        "victim has ended with exit code 0");
    check(!platform::processAlive(pid), "victim no longer alive");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--linger") == 0) {
        Sleep(120000);
        return 3;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    wchar_t selfPath[MAX_PATH];
    GetModuleFileNameW(nullptr, selfPath, MAX_PATH);

    check(platform::ipv4ToString(0xC0A80001) == "192.168.0.1", "host-order address to dotted form");
    testProcessSnapshot();
    testTcpTable();
    testAdaptersAndToken();
    testTermination(selfPath);

    WSACleanup();
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
