#pragma once
// A TCP server on a loopback address that runs a handler per connection on its own thread, the
// small client calls the relay tests make, and ports for the listeners the engine binds itself.
// Everything here stays on 127.0.0.0/8.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/loopback.h"

namespace zk::test {

inline sockaddr_in loopback_address(const char* ip, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// A socket of `type` bound to ip:port (port 0: the kernel's choice), or -1.
inline int bind_socket(int type, const char* ip, int port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = loopback_address(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The kernel's ephemeral range [first, last]: the ports it hands out to outgoing connections
// and to sockets bound to port 0.
inline std::pair<int, int> ephemeral_ports() {
    std::ifstream file("/proc/sys/net/ipv4/ip_local_port_range");
    int first = 32768;
    int last = 60999;
    file >> first >> last;
    return {first, last};
}

// True when `port` is free for TCP and UDP on every address right now.
inline bool port_free(int port) {
    const int tcp = bind_socket(SOCK_STREAM, "0.0.0.0", port);
    const int udp = bind_socket(SOCK_DGRAM, "0.0.0.0", port);
    if (tcp >= 0) ::close(tcp);
    if (udp >= 0) ::close(udp);
    return tcp >= 0 && udp >= 0;
}

// `count` consecutive ports, free on every address, for a port the engine must bind itself (a
// mapping's listener). They lie outside the ephemeral range, so no process's outgoing connection
// can take one between this check and the engine's bind; each test process starts in its own
// slice of that space (by process id), and successive calls in a process never repeat a port.
inline int free_port_run(int count) {
    constexpr int kSlice = 200;
    const auto [first_ephemeral, last_ephemeral] = ephemeral_ports();
    // The usable space: [1024, first_ephemeral) then (last_ephemeral, 65535], as one index.
    const int below = std::max(0, first_ephemeral - 1024);
    const int above = std::max(0, 65535 - last_ephemeral);
    const int space = below + above;
    const auto port_at = [&](int index) {
        return index < below ? 1024 + index : last_ephemeral + 1 + (index - below);
    };
    static std::atomic<int> next{0};
    const int start = static_cast<int>(::getpid()) % std::max(1, space / kSlice) * kSlice;
    for (int tries = 0; tries < space; ++tries) {
        const int index = (start + next.fetch_add(count)) % space;
        if (index + count > space || (index < below && index + count > below)) continue;
        bool all_free = true;
        for (int i = 0; i < count && all_free; ++i)
            all_free = port_free(port_at(index + i));
        if (all_free) return port_at(index);
    }
    return -1;
}

inline int free_port() {
    return free_port_run(1);
}

// Connects to ip:port, from `from` when given (to look like another client); -1 on failure.
inline int connect_to(const char* ip, int port, const char* from = nullptr) {
    const int fd =
        from ? bind_socket(SOCK_STREAM, from, 0) : ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback_address(ip, port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// True when something listens on 127.0.0.1:port (read from the kernel's table, so no
// connection is made).
inline bool local_port_listening(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const std::size_t colon = local.find(':');
        if (state == "0A" && colon != std::string::npos &&
            std::stoi(local.substr(colon + 1), nullptr, 16) == port) {
            return true;
        }
    }
    return false;
}

// Reads until `n` bytes, end of stream or `limit_ms` of silence.
inline std::string read_some(int fd, std::size_t n, int limit_ms = 5000) {
    std::string out;
    char buffer[65536];
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, limit_ms) <= 0) break;
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

// True when the peer closed (or reset) the connection within `limit_ms`.
inline bool closed_by_peer(int fd, int limit_ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, limit_ms) <= 0) return false;
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}

inline bool send_text(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

class LoopbackServer {
public:
    using Handler = std::function<void(int fd)>;

    LoopbackServer(const char* ip, int port, Handler handler)
        : handler_(std::move(handler)), stop_(::eventfd(0, EFD_CLOEXEC)) {
        listen_fd_ = bind_socket(SOCK_STREAM, ip, port);
        ::listen(listen_fd_, 128);
        port_ = local_port(listen_fd_);
        acceptor_ = std::thread([this] { accept_loop(); });
    }
    LoopbackServer(const char* ip, Handler handler) : LoopbackServer(ip, 0, std::move(handler)) {}

    ~LoopbackServer() {
        const uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(stop_, &one, sizeof one);
        acceptor_.join();
        std::vector<std::thread> workers;
        {
            std::lock_guard guard(lock_);
            for (int fd : open_)
                ::shutdown(fd, SHUT_RDWR);
            workers.swap(workers_);
        }
        for (auto& t : workers)
            t.join();
        for (int fd : open_)
            ::close(fd);
        ::close(listen_fd_);
        ::close(stop_);
    }

    int port() const { return port_; }
    int connections() const { return connections_.load(); }

private:
    void accept_loop() {
        pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
        while (::poll(fds, 2, -1) > 0 && !(fds[1].revents & POLLIN)) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++connections_;
            std::lock_guard guard(lock_);
            open_.push_back(fd);
            workers_.emplace_back([this, fd] {
                handler_(fd);
                ::shutdown(fd, SHUT_RDWR);
            });
        }
    }

    Handler handler_;
    int stop_;
    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::thread acceptor_;
    std::mutex lock_;
    std::vector<int> open_;  // every accepted connection, closed at the end
    std::vector<std::thread> workers_;
};

// Sends back everything it receives until the peer closes.
inline void echo(int fd) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0 || !send_text(fd, std::string(buffer, static_cast<std::size_t>(n)))) return;
    }
}

}  // namespace zk::test
