// The UDP servers of `serve`: an echo (each datagram goes back to its sender) and a sink that
// counts what arrives and tells its figures when asked.

#include <poll.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "zkload/udp.h"

namespace zk::bench {

namespace {

constexpr int batch = 64;
constexpr std::size_t slot_size = 2048;
constexpr int poll_ms = 200;

bool wait_readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, poll_ms) > 0;
}

void write_le64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool is_query(const char* data, std::size_t n) {
    return n >= udp_sink_query.size() &&
           std::memcmp(data, udp_sink_query.data(), udp_sink_query.size()) == 0;
}

}  // namespace

void run_udp_echo(Fd socket, const std::atomic<bool>& stop, Clock::time_point deadline) {
    std::vector<char> buffer(65536);
    while (!stop.load() && Clock::now() < deadline) {
        if (!wait_readable(socket.get())) continue;
        for (int i = 0; i < batch; ++i) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(socket.get(), buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) break;  // EAGAIN: back to the wait
            ::sendto(socket.get(), buffer.data(), static_cast<std::size_t>(n), 0,
                     reinterpret_cast<const sockaddr*>(&from), len);
        }
    }
}

void run_udp_sink(Fd socket, const std::atomic<bool>& stop, Clock::time_point deadline) {
    std::vector<char> slots(batch * slot_size);
    std::vector<iovec> iov(batch);
    std::vector<mmsghdr> msgs(batch);
    std::vector<sockaddr_in> from(batch);
    std::uint64_t datagrams = 0;
    std::uint64_t bytes = 0;
    std::uint64_t last_ns = 0;
    while (!stop.load() && Clock::now() < deadline) {
        if (!wait_readable(socket.get())) continue;
        for (int i = 0; i < batch; ++i) {
            iov[i] = {slots.data() + i * slot_size, slot_size};
            msgs[i] = {};
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &from[i];
            msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        const int n = ::recvmmsg(socket.get(), msgs.data(), batch, MSG_DONTWAIT, nullptr);
        if (n <= 0) continue;
        const auto now = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count());
        for (int i = 0; i < n; ++i) {
            const char* data = slots.data() + i * slot_size;
            if (!is_query(data, msgs[i].msg_len)) {
                ++datagrams;
                bytes += msgs[i].msg_len;
                last_ns = now;
                continue;
            }
            unsigned char reply[udp_sink_reply_size];
            write_le64(reply, datagrams);
            write_le64(reply + 8, bytes);
            write_le64(reply + 16, last_ns);
            ::sendto(socket.get(), reply, sizeof reply, 0,
                     reinterpret_cast<const sockaddr*>(&from[i]), msgs[i].msg_hdr.msg_namelen);
        }
    }
}

}  // namespace zk::bench
