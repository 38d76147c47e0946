// A loopback HTTP origin for the proxy measurements: every connection gets one fixed response
// to its first request head and is closed, as an HTTP/1.0 server does.

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"

namespace zk::bench {

namespace {

std::atomic<bool> g_origin_stop{false};

void on_origin_stop(int) {
    g_origin_stop.store(true);
}

// One epoll thread over its own SO_REUSEPORT listener.
class OriginLoop {
public:
    explicit OriginLoop(Fd listener)
        : listener_(std::move(listener)), epoll_(epoll_create1(EPOLL_CLOEXEC)) {
        watch(listener_.get(), EPOLLIN, EPOLL_CTL_ADD);
    }

    void run(Clock::time_point deadline) {
        epoll_event events[256];
        while (!g_origin_stop.load() && Clock::now() < deadline) {
            const int n = epoll_wait(epoll_.get(), events, 256, 200);
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == listener_.get()) {
                    accept_all();
                } else if (!on_readable(fd, conns_[fd])) {
                    drop(fd);
                }
            }
        }
    }

private:
    // Only the end of the head matters: the last three bytes seen are kept to find "\r\n\r\n"
    // across reads.
    struct Conn {
        std::string tail;
    };

    void watch(int fd, std::uint32_t events, int op) {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        epoll_ctl(epoll_.get(), op, fd, &ev);
    }

    void drop(int fd) {
        epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        conns_.erase(fd);
    }

    void accept_all() {
        for (;;) {
            const int fd =
                ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            conns_[fd] = Conn{};
            watch(fd, EPOLLIN, EPOLL_CTL_ADD);
        }
    }

    // False when the connection is done: answered, closed by the peer or failed.
    bool on_readable(int fd, Conn& c) {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
            if (n == 0) return false;
            c.tail.append(buffer, static_cast<std::size_t>(n));
            if (c.tail.find("\r\n\r\n") != std::string::npos) {
                // The reply fits any socket buffer; one that does not go out whole is dropped.
                [[maybe_unused]] const ssize_t sent =
                    ::send(fd, http_origin_reply.data(), http_origin_reply.size(), MSG_NOSIGNAL);
                return false;
            }
            if (c.tail.size() > 3) c.tail.erase(0, c.tail.size() - 3);
        }
    }

    Fd listener_;
    Fd epoll_;
    std::unordered_map<int, Conn> conns_;
};

}  // namespace

int run_origin(Args& args) {
    const auto port = static_cast<std::uint16_t>(args.number("port", 0, 1, 65535));
    const int threads = static_cast<int>(args.number("threads", 2, 1, 64));
    const long long max_seconds = args.number("max-seconds", 3600, 1, 86400);
    if (!args_ok(args)) return 2;
    if (port == 0) {
        std::fprintf(stderr, "origin needs --port\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = on_origin_stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::vector<std::unique_ptr<OriginLoop>> loops;
    for (int i = 0; i < threads; ++i) {
        std::string error;
        Fd listener = open_listener(port, error);
        if (!listener.valid()) {
            std::fprintf(stderr, "zkload origin: %s\n", error.c_str());
            return 1;
        }
        loops.push_back(std::make_unique<OriginLoop>(std::move(listener)));
    }
    std::printf("ready http=127.0.0.1:%u threads=%d\n", port, threads);
    std::fflush(stdout);
    const auto deadline = Clock::now() + std::chrono::seconds(max_seconds);
    std::vector<std::thread> workers;
    for (auto& loop : loops)
        workers.emplace_back([&loop, deadline] { loop->run(deadline); });
    for (auto& w : workers)
        w.join();
    return 0;
}

}  // namespace zk::bench
