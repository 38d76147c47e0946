#include "zkload/server_loop.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zk::bench {

namespace {

constexpr std::size_t buffer_size = 256 * 1024;
constexpr int max_events = 256;
constexpr int reads_per_wakeup = 16;  // keeps one busy sink from starving the others

}  // namespace

ServerLoop::ServerLoop(Fd echo_listener, Fd bulk_listener)
    : echo_listener_(std::move(echo_listener)),
      bulk_listener_(std::move(bulk_listener)),
      epoll_(epoll_create1(EPOLL_CLOEXEC)),
      buffer_(buffer_size, 'z') {
    watch(echo_listener_.get(), EPOLLIN, EPOLL_CTL_ADD);
    watch(bulk_listener_.get(), EPOLLIN, EPOLL_CTL_ADD);
}

void ServerLoop::watch(int fd, std::uint32_t events, int op) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    epoll_ctl(epoll_.get(), op, fd, &ev);
}

void ServerLoop::drop(int fd) {
    epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    conns_.erase(fd);
}

void ServerLoop::run(const std::atomic<bool>& stop, Clock::time_point deadline) {
    epoll_event events[max_events];
    while (!stop.load() && Clock::now() < deadline) {
        const int n = epoll_wait(epoll_.get(), events, max_events, 200);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == echo_listener_.get()) {
                accept_all(fd, Kind::echo);
                continue;
            }
            if (fd == bulk_listener_.get()) {
                accept_all(fd, Kind::bulk_header);
                continue;
            }
            const auto it = conns_.find(fd);
            if (it == conns_.end()) continue;
            Conn& c = it->second;
            bool keep = true;
            switch (c.kind) {
                case Kind::echo: keep = on_echo(c, events[i].events); break;
                case Kind::bulk_header: keep = on_header(c); break;
                case Kind::sink: keep = on_sink(c); break;
                case Kind::source: keep = on_source(c, events[i].events); break;
            }
            if (!keep) drop(fd);
        }
    }
    for (auto& [fd, c] : conns_)
        ::close(fd);
    conns_.clear();
}

void ServerLoop::accept_all(int listener, Kind kind) {
    for (int i = 0; i < 64; ++i) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN, or a transient error the next wake-up retries
        Conn& c = conns_[fd];
        c = Conn{};
        c.fd = fd;
        c.kind = kind;
        watch(fd, EPOLLIN, EPOLL_CTL_ADD);
    }
}

bool ServerLoop::on_echo(Conn& c, std::uint32_t events) {
    if (!c.pending.empty()) {
        if ((events & (EPOLLERR | EPOLLHUP)) != 0) return false;
        const ssize_t w = ::send(c.fd, c.pending.data(), c.pending.size(), MSG_NOSIGNAL);
        if (w < 0) return errno == EAGAIN || errno == EINTR;
        c.pending.erase(0, static_cast<std::size_t>(w));
        if (c.pending.empty()) watch(c.fd, EPOLLIN, EPOLL_CTL_MOD);
        return true;
    }
    const ssize_t n = ::recv(c.fd, buffer_.data(), 64 * 1024, 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    const ssize_t w = ::send(c.fd, buffer_.data(), static_cast<std::size_t>(n), MSG_NOSIGNAL);
    if (w < 0 && errno != EAGAIN) return false;
    const std::size_t sent = w < 0 ? 0 : static_cast<std::size_t>(w);
    if (sent < static_cast<std::size_t>(n)) {
        // Stop reading until the rest is written back.
        c.pending.assign(buffer_.data() + sent, static_cast<std::size_t>(n) - sent);
        watch(c.fd, EPOLLOUT, EPOLL_CTL_MOD);
    }
    return true;
}

bool ServerLoop::on_header(Conn& c) {
    const ssize_t n = ::recv(c.fd, c.header + c.header_got, bulk_header_size - c.header_got, 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    c.header_got += static_cast<std::size_t>(n);
    if (c.header_got < bulk_header_size) return true;
    if (c.header[0] == 'U') {
        c.kind = Kind::sink;
        c.count = 0;
        return true;
    }
    if (c.header[0] == 'P') {
        ::send(c.fd, "pong\n", 5, MSG_NOSIGNAL);
        return false;
    }
    if (c.header[0] != 'D') return false;
    c.kind = Kind::source;
    c.count = 0;
    for (int i = 8; i >= 1; --i)
        c.count = (c.count << 8) | c.header[i];
    watch(c.fd, EPOLLIN | EPOLLOUT, EPOLL_CTL_MOD);
    return true;
}

bool ServerLoop::on_sink(Conn& c) {
    for (int i = 0; i < reads_per_wakeup; ++i) {
        const ssize_t n = ::recv(c.fd, buffer_.data(), buffer_.size(), 0);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        if (n == 0) return false;
        const auto got = static_cast<std::size_t>(n);
        // The end byte is the last one the client sends before waiting, so it ends a read.
        if (buffer_[got - 1] != bulk_upload_end) {
            c.count += got;
            continue;
        }
        c.count += got - 1;
        unsigned char reply[8];
        for (int b = 0; b < 8; ++b)
            reply[b] = static_cast<unsigned char>(c.count >> (8 * b));
        // Nothing was ever written on this socket, so 8 bytes fit its send buffer.
        ::send(c.fd, reply, sizeof reply, MSG_NOSIGNAL);
        return true;  // the client closes once it has the count
    }
    return true;
}

bool ServerLoop::on_source(Conn& c, std::uint32_t events) {
    if ((events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0) {
        // The client sends nothing after the header: readable means it closed or reset.
        const ssize_t n = ::recv(c.fd, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
    }
    if ((events & EPOLLOUT) == 0) return true;
    const std::size_t chunk = c.count < buffer_.size() ? c.count : buffer_.size();
    const ssize_t w = ::send(c.fd, buffer_.data(), chunk, MSG_NOSIGNAL);
    if (w < 0) return errno == EAGAIN || errno == EINTR;
    c.count -= static_cast<std::uint64_t>(w);
    return c.count > 0;  // closing with queued data still delivers it
}

}  // namespace zk::bench
