// Request/response latency: one connection, small messages echoed one at a time.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"
#include "zkload/stats.h"

namespace zk::bench {

int run_latency(Args& args) {
    const auto target = target_option(args);
    const long long count = args.number("count", 20000, 1, 10000000);
    const long long warmup = args.number("warmup", 500, 0, 1000000);
    const auto size = static_cast<std::size_t>(args.number("size", 32, 1, 65536));
    const double seconds = args.real("seconds", 10.0, 0.1, 600.0);
    const auto io_timeout = io_timeout_option(args);
    if (!args_ok(args) || !target) return 2;

    Fd fd = open_connection(*target, io_timeout);
    if (!fd.valid()) {
        std::fprintf(stderr, "zkload rr: connect %s: %s\n", to_text(*target).c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::string request(size, 'r');
    std::string reply(size, '\0');
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(count));
    const auto deadline = after_seconds(Clock::now(), seconds);
    for (long long i = 0; i < warmup + count && Clock::now() < deadline; ++i) {
        request[0] = static_cast<char>('a' + i % 26);  // a stale reply would not match
        const auto t0 = Clock::now();
        if (!send_all(fd.get(), request.data(), size) ||
            !recv_exact(fd.get(), reply.data(), size)) {
            std::fprintf(stderr, "zkload rr: exchange %lld: %s\n", i + 1, std::strerror(errno));
            return 1;
        }
        const auto t1 = Clock::now();
        if (reply != request) {
            std::fprintf(stderr, "zkload rr: exchange %lld: reply differs from request\n", i + 1);
            return 1;
        }
        if (i >= warmup) samples.push_back(micros_between(t0, t1));
    }
    return print_latency("rr", samples, seconds) ? 0 : 1;
}

}  // namespace zk::bench
