#pragma once

// A loopback port that swallows connection attempts: a listening socket with a backlog of zero
// whose queue is filled and never accepted, so the kernel drops further SYNs and a connect neither
// succeeds nor fails until its own time-out. Needs no privileges.

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

class BlackHole
{
public:
    BlackHole()
    {
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        m_fds.push_back(::socket(AF_INET, SOCK_STREAM, 0));
        if (::bind(m_fds[0], reinterpret_cast<sockaddr *>(&addr), len) != 0 || ::listen(m_fds[0], 0) != 0)
            return;
        ::getsockname(m_fds[0], reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        // Fill the accept queue; the connects that complete are held, later ones hang.
        for (int i = 0; i < 3; ++i) {
            m_fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(m_fds.back(), reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        }
    }
    ~BlackHole()
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    BlackHole(const BlackHole &) = delete;
    BlackHole &operator=(const BlackHole &) = delete;

    quint16 port() const { return m_port; }

private:
    std::vector<int> m_fds; // the listener first
    quint16 m_port = 0;
};
