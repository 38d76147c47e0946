// Connections per second: connect, send a small request, read the reply, close; with the time
// from the start of connect to the reply's first byte.

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"
#include "zkload/parallel_rounds.h"
#include "zkload/stats.h"

namespace zk::bench {

namespace {

// One connection's round; the connect-to-first-byte time in µs, or a negative value on failure.
double one_round(const sockaddr_in& target, std::chrono::milliseconds io_timeout,
                 const std::string& request, std::string& reply) {
    const auto t0 = Clock::now();
    Fd fd = open_connection(target, io_timeout);
    if (!fd.valid() || !send_all(fd.get(), request.data(), request.size())) return -1;
    ssize_t n = 0;
    do {
        n = ::recv(fd.get(), reply.data(), reply.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return -1;
    const auto t1 = Clock::now();
    const auto got = static_cast<std::size_t>(n);
    if (got < reply.size() && !recv_exact(fd.get(), reply.data() + got, reply.size() - got)) {
        return -1;
    }
    if (reply != request) {
        errno = EBADMSG;
        return -1;
    }
    return micros_between(t0, t1);
}

}  // namespace

int run_connections(Args& args) {
    const auto target = target_option(args);
    const long long count = args.number("count", 20000, 1, 1000000);
    const int parallel = static_cast<int>(args.number("parallel", 4, 1, 256));
    const auto size = static_cast<std::size_t>(args.number("size", 32, 1, 65536));
    const double seconds = args.real("seconds", 3.0, 0.1, 600.0);
    const auto io_timeout = io_timeout_option(args);
    if (!args_ok(args) || !target) return 2;

    const std::string request(size, 'c');
    return run_parallel_rounds(
        {count, parallel, seconds},
        [&] {
            thread_local std::string reply;  // one per client thread
            reply.assign(size, '\0');
            return one_round(*target, io_timeout, request, reply);
        },
        "cps", "connections");
}

}  // namespace zk::bench
