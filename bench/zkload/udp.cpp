#include "zkload/udp.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace zk::bench {

namespace {

constexpr int receive_buffer = 4 * 1024 * 1024;  // the kernel caps it at net.core.rmem_max
constexpr auto query_wait = std::chrono::milliseconds(200);
constexpr auto probe_wait = std::chrono::milliseconds(20);

std::uint64_t read_le64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

timeval to_timeval(std::chrono::milliseconds ms) {
    return {static_cast<time_t>(ms.count() / 1000),
            static_cast<suseconds_t>((ms.count() % 1000) * 1000)};
}

}  // namespace

Fd open_udp_server(std::uint16_t port, std::string& error) {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (!fd.valid() ||
        setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer) != 0 ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = "cannot bind UDP 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return Fd();
    }
    return fd;
}

Fd open_udp_client(const sockaddr_in& addr, std::chrono::milliseconds reply_timeout) {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return fd;
    const timeval tv = to_timeval(reply_timeout);
    if (setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int saved = errno;
        fd.reset();
        errno = saved;
    }
    return fd;
}

std::optional<SinkFigures> query_sink(const sockaddr_in& addr, int attempts) {
    Fd fd = open_udp_client(addr, query_wait);
    if (!fd.valid()) return std::nullopt;
    unsigned char reply[udp_sink_reply_size + 1];
    for (int i = 0; i < attempts; ++i) {
        if (::send(fd.get(), udp_sink_query.data(), udp_sink_query.size(), 0) < 0) {
            sleep_for_ms(query_wait.count());  // e.g. ECONNREFUSED: nothing listening yet
            continue;
        }
        const ssize_t n = ::recv(fd.get(), reply, sizeof reply, 0);
        if (n != static_cast<ssize_t>(udp_sink_reply_size)) continue;
        SinkFigures f;
        f.datagrams = read_le64(reply);
        f.bytes = read_le64(reply + 8);
        f.last = Clock::time_point(std::chrono::nanoseconds(read_le64(reply + 16)));
        return f;
    }
    return std::nullopt;
}

bool udp_probe(const sockaddr_in& addr, const std::string& request, Clock::time_point deadline) {
    Fd fd = open_udp_client(addr, probe_wait);
    if (!fd.valid()) return false;
    char reply[2048];
    while (Clock::now() < deadline) {
        // A refused send (no listener yet) is only reported on a later call: retry either way.
        if (::send(fd.get(), request.data(), request.size(), 0) < 0) {
            sleep_for_ms(probe_wait.count());
            continue;
        }
        if (::recv(fd.get(), reply, sizeof reply, 0) >= 0) return true;
    }
    return false;
}

}  // namespace zk::bench
