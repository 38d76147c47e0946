#pragma once
// Helpers for tests on loopback sockets: owned descriptors and connected TCP pairs on 127.0.0.1
// (ports chosen by the kernel).

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "engine/brellix_socket.h"
#include "support/wait_for.h"

namespace zk::test {

class ScopedFd {
public:
    ScopedFd() = default;
    explicit ScopedFd(int fd) : fd_(fd) {}
    ScopedFd(ScopedFd&& other) noexcept : fd_(std::exchange(other.fd_, 0)) {}
    ScopedFd& operator=(ScopedFd&& other) noexcept {
        reset(std::exchange(other.fd_, 0));
        return *this;
    }
    ~ScopedFd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = 0) {
        if (fd_ > 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = 0;
};

inline int local_port(int sock) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
    return ntohs(address.sin_port);
}

inline void set_buffer_sizes(int sock, int size) {
    ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

struct TcpPair {
    ScopedFd client;  // connected to 127.0.0.1
    ScopedFd server;  // the accepted end
};

// Both ends blocking. `buffer_size` > 0 shrinks the kernel buffers of both ends, so a peer that
// does not read stalls the writer after a few kilobytes.
inline TcpPair make_tcp_pair(int buffer_size = 0) {
    TcpPair pair;
    int listener = 0;
    if (brellix_socket_tcp_listen(listener, 0, 4) != kSocketDone) return pair;
    ScopedFd listening(listener);
    if (buffer_size > 0) set_buffer_sizes(listener, buffer_size);  // inherited by accept
    int client = 0;
    if (brellix_socket_tcp_create(client) != kSocketDone) return pair;
    pair.client.reset(client);
    if (buffer_size > 0) set_buffer_sizes(client, buffer_size);
    if (brellix_socket_connect(client, "127.0.0.1", local_port(listener)) != kSocketDone) {
        return pair;
    }
    pair.server.reset(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    return pair;
}

}  // namespace zk::test
