#pragma once

#include <QtGlobal>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// An attacker on the network: `connections` connections that never log in,
// from 127.0.0.1 up to 127.0.0.`addresses`, each connected again at once
// when the service closes it, as fast as one thread can; the thread runs
// from construction to destruction.
class ConnectionFlood {
public:
    ConnectionFlood(quint16 port, int connections, int addresses)
        : m_port(port), m_connections(connections), m_addresses(addresses)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~ConnectionFlood()
    {
        m_stop = true;
        m_thread.join();
    }
    int reconnects() const { return m_reconnects; }
    int open() const { return m_open; }

private:
    int Connect(int n)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<uint32_t>(n % m_addresses));
        ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        epoll_event event{};
        event.events = EPOLLRDHUP | EPOLLHUP | EPOLLERR | EPOLLIN;
        event.data.u64 = (static_cast<uint64_t>(n) << 32) | static_cast<uint32_t>(fd);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        m_fds[static_cast<size_t>(n)] = fd;
        return fd;
    }

    void Run()
    {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_fds.assign(static_cast<size_t>(m_connections), -1);
        for (int n = 0; n < m_connections; ++n)
            if (Connect(n) >= 0)
                ++m_open;
        std::vector<epoll_event> events(256);
        char sink[256];
        while (!m_stop) {
            const int ready = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 50);
            for (int i = 0; i < ready; ++i) {
                const int fd = static_cast<int>(events[i].data.u64 & 0xFFFFFFFFu);
                const int n = static_cast<int>(events[i].data.u64 >> 32);
                if (!(events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) && ::read(fd, sink, sizeof sink) > 0)
                    continue;
                ::close(fd);
                m_fds[static_cast<size_t>(n)] = -1;
                if (Connect(n) < 0)
                    --m_open;
                ++m_reconnects;
            }
        }
        ::close(m_epoll);
        for (const int fd : m_fds)
            ::close(fd);
    }

    quint16 m_port;
    int m_connections;
    int m_addresses;
    int m_epoll = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reconnects{0};
    std::atomic<int> m_open{0};
    std::vector<int> m_fds; // by connection, -1 while it has none
    std::thread m_thread;
};
