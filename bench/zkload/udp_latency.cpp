// UDP request/response latency: one socket, small datagrams echoed one at a time. A reply that
// does not come within the reply time-out counts as lost and the next request goes out.

#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zkload/modes.h"
#include "zkload/stats.h"
#include "zkload/udp.h"

namespace zk::bench {

namespace {

constexpr int max_lost_in_a_row = 10;

void put_sequence(std::string& request, std::uint64_t seq) {
    std::memcpy(request.data(), &seq, sizeof seq);
}

// Waits for the reply carrying seq, dropping late replies to earlier requests; false on a
// time-out, with errno set.
bool await_reply(int fd, const std::string& request, std::string& reply) {
    for (;;) {
        const ssize_t n = ::recv(fd, reply.data(), reply.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) == request.size() &&
            std::memcmp(reply.data(), request.data(), request.size()) == 0) {
            return true;
        }
    }
}

}  // namespace

int run_udp_latency(Args& args) {
    const auto target = target_option(args);
    const long long count = args.number("count", 20000, 1, 10000000);
    const long long warmup = args.number("warmup", 500, 0, 1000000);
    const auto size = static_cast<std::size_t>(args.number("size", 32, 8, 1472));
    const double seconds = args.real("seconds", 10.0, 0.1, 600.0);
    const auto reply_timeout =
        std::chrono::milliseconds(args.number("reply-timeout-ms", 200, 1, 10000));
    if (!args_ok(args) || !target) return 2;

    Fd fd = open_udp_client(*target, reply_timeout);
    if (!fd.valid()) {
        std::fprintf(stderr, "zkload udp_rr: socket for %s: %s\n", to_text(*target).c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::string request(size, 'r');
    std::string reply(size + 1, '\0');  // one more byte: a longer datagram never matches
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(count));
    long long lost = 0;
    int lost_in_a_row = 0;
    const auto deadline = after_seconds(Clock::now(), seconds);
    for (long long i = 0; i < warmup + count && Clock::now() < deadline; ++i) {
        put_sequence(request, static_cast<std::uint64_t>(i));
        const auto t0 = Clock::now();
        const bool sent = ::send(fd.get(), request.data(), size, 0) == static_cast<ssize_t>(size);
        if (!sent || !await_reply(fd.get(), request, reply)) {
            ++lost;
            if (++lost_in_a_row == max_lost_in_a_row) {
                std::fprintf(stderr, "zkload udp_rr: %d requests in a row without a reply (%s)\n",
                             max_lost_in_a_row, std::strerror(errno));
                return 1;
            }
            continue;
        }
        const auto t1 = Clock::now();
        lost_in_a_row = 0;
        if (i >= warmup) samples.push_back(micros_between(t0, t1));
    }
    if (!print_latency("udp_rr", samples, seconds)) return 1;
    print_count("lost", lost);
    return 0;
}

}  // namespace zk::bench
