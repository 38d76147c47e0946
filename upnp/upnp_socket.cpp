#include "upnp/upnp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace zk::upnp_net {
namespace {

constexpr std::size_t kReceiveBlock = 102400;

std::optional<sockaddr_in> ipv4_address(const std::string& host, int port) {
    if (port < 1 || port > 65535) return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return std::nullopt;
    return address;
}

// Waits for `events` on the socket; true when ready (or in error, which the next call reports).
bool wait_for(const Socket& socket, short events, std::chrono::milliseconds limit) {
    pollfd entry{socket.fd(), events, 0};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int result = ::poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (result > 0) return true;
        if (result == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

std::chrono::milliseconds time_left(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds::zero());
}

bool is_ipv4_endpoint(const std::string& host, int port) {
    return ipv4_address(host, port).has_value();
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

void Socket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int Socket::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

Socket open_search_socket() {
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.is_open()) return socket;
    const int on = 1;
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) socket.close();
    return socket;
}

bool send_datagram(const Socket& socket, const std::string& address, std::uint16_t port,
                   std::string_view data) {
    const std::optional<sockaddr_in> to = ipv4_address(address, port);
    if (!socket.is_open() || !to) return false;
    const ssize_t sent = ::sendto(socket.fd(), data.data(), data.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&*to), sizeof *to);
    return sent == static_cast<ssize_t>(data.size());
}

std::optional<std::string> receive_datagram(const Socket& socket, std::chrono::milliseconds wait,
                                            std::size_t max_size) {
    if (!socket.is_open() || !wait_for(socket, POLLIN, wait)) return std::nullopt;
    std::vector<char> buffer(max_size);
    const ssize_t got = ::recv(socket.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(got));
}

Socket connect_tcp(const std::string& host, int port, std::chrono::milliseconds limit) {
    const std::optional<sockaddr_in> to = ipv4_address(host, port);
    if (!to) return {};
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.is_open()) return socket;
    // Non-blocking, so a gateway that never answers costs `limit`, not the kernel's minutes.
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&*to), sizeof *to) == 0)
        return socket;
    if (errno != EINPROGRESS || !wait_for(socket, POLLOUT, limit)) return {};
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        return {};
    return socket;
}

bool send_all(const Socket& socket, std::string_view data, std::chrono::milliseconds idle_limit,
              Deadline deadline) {
    while (!data.empty()) {
        const auto limit = std::min(idle_limit, time_left(deadline));
        if (!socket.is_open() || !wait_for(socket, POLLOUT, limit)) return false;
        const ssize_t sent = ::send(socket.fd(), data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

ReceiveEnd receive_until_closed(const Socket& socket, std::chrono::milliseconds idle_limit,
                                Deadline deadline, std::size_t max_size, std::string& out) {
    std::vector<char> block(kReceiveBlock);
    for (;;) {
        if (out.size() > max_size) return ReceiveEnd::too_large;
        if (!socket.is_open()) return ReceiveEnd::failed;
        const auto left = time_left(deadline);
        if (!wait_for(socket, POLLIN, std::min(idle_limit, left))) {
            return left < idle_limit ? ReceiveEnd::deadline : ReceiveEnd::silent;
        }
        // Never more than one byte past the limit, so a hostile peer cannot make us hold more.
        const std::size_t room = std::min(block.size() - 1, max_size - out.size()) + 1;
        const ssize_t got = ::recv(socket.fd(), block.data(), room, 0);
        if (got == 0) return ReceiveEnd::closed;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ReceiveEnd::failed;
        }
        out.append(block.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace zk::upnp_net
