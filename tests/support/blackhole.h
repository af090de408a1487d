#pragma once

// A loopback port that swallows connection attempts: a listening socket with a
// backlog of zero whose queue is filled and never accepted, so the kernel drops
// further SYNs and a connect neither succeeds nor fails until its own time-out.
// Needs no privileges.

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

class BlackHole
{
public:
    // By default on loopback at a port the system picks. At a game port it can stand in for a
    // game server: with no fillers, the first connection made to it (the game's) fills the queue.
    explicit BlackHole(quint32 address = INADDR_LOOPBACK, quint16 port = 0, int fillers = 3)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(address);
        addr.sin_port = htons(port);
        const int reuse = 1; // a fixed port may still hold connections of an earlier run
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(m_listener, 0) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        // Fill the accept queue; the connects that complete are held, later ones hang.
        for (int i = 0; i < fillers; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
            m_fillers.push_back(fd);
        }
    }
    ~BlackHole()
    {
        for (int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    BlackHole(const BlackHole &) = delete;
    BlackHole &operator=(const BlackHole &) = delete;

    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};
