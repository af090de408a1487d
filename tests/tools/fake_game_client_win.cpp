// The fake game client for Wine (see fake_game_client.cpp): the same commands and lines, with a
// blocking connect and without watching for the server's close.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

SOCKET g_socket = INVALID_SOCKET;
std::string g_address;

void say(const std::string &line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void drop()
{
    if (g_socket != INVALID_SOCKET)
        closesocket(g_socket);
    g_socket = INVALID_SOCKET;
}

void connectTo(const std::string &address, unsigned short port)
{
    drop();
    g_address = address;
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &remote.sin_addr) != 1)
        return say("FAILED bad address " + address);
    say("CONNECTING " + address + " " + std::to_string(port));
    g_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(g_socket, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        say("FAILED error " + std::to_string(WSAGetLastError()));
        return drop();
    }
    sockaddr_in local {};
    int length = sizeof local;
    getsockname(g_socket, reinterpret_cast<sockaddr *>(&local), &length);
    say("CONNECTED " + std::to_string(ntohs(local.sin_port)));
}

unsigned short portOf(const char *text)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text && *end == '\0' && value >= 1 && value <= 65535 ? static_cast<unsigned short>(value) : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const bool hold = argc > 1 && std::strcmp(argv[1], "--hold") == 0;
    const int first = hold ? 2 : 1;
    if ((argc - first != 0 && argc - first != 2) || (argc - first == 2 && !portOf(argv[first + 1]))) {
        std::fprintf(stderr, "usage: %s [--hold] [ADDRESS PORT]\n", argv[0]);
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    if (argc - first == 2)
        connectTo(argv[first], portOf(argv[first + 1]));
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        char verb[32] = {}, arg1[128] = {}, arg2[32] = {};
        const int fields = std::sscanf(line, "%31s %127s %31s", verb, arg1, arg2);
        const std::string command = verb;
        if (command == "quit")
            break;
        if (command == "drop") {
            drop();
            say("DROPPED");
        } else if (command == "move" && portOf(arg1) && !g_address.empty()) {
            connectTo(g_address, portOf(arg1));
        } else if (command == "connect" && fields == 3 && portOf(arg2)) {
            connectTo(arg1, portOf(arg2));
        } else if (fields > 0) {
            say("ERROR " + std::string(line));
        }
    }
    if (hold && std::feof(stdin))
        Sleep(INFINITE);
    drop();
    WSACleanup();
    return 0;
}
