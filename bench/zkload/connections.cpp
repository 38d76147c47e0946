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

    std::atomic<long long> next{0};
    std::atomic<long long> errors{0};
    std::mutex lock;
    std::vector<double> samples;
    std::string first_error;
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> workers;
    for (int w = 0; w < parallel; ++w) {
        workers.emplace_back([&] {
            const std::string request(size, 'c');
            std::string reply(size, '\0');
            std::vector<double> mine;
            while (next.fetch_add(1) < count && Clock::now() < deadline) {
                const double us = one_round(*target, io_timeout, request, reply);
                if (us >= 0) {
                    mine.push_back(us);
                    continue;
                }
                const std::string why = std::strerror(errno);
                if (errors.fetch_add(1) == 0) {
                    std::lock_guard<std::mutex> guard(lock);
                    first_error = why;
                }
            }
            std::lock_guard<std::mutex> guard(lock);
            samples.insert(samples.end(), mine.begin(), mine.end());
        });
    }
    for (auto& w : workers)
        w.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    if (errors.load() > 0) {
        std::fprintf(stderr, "zkload cps: %lld failed connections (first: %s)\n", errors.load(),
                     first_error.c_str());
    }
    if (samples.empty()) return 1;
    const auto ok = static_cast<long long>(samples.size());
    const Summary s = summarize(samples);
    print_figure("cps", static_cast<double>(ok) / elapsed);
    print_figure("p50_us", s.p50);
    print_figure("p99_us", s.p99);
    print_count("ok", ok);
    print_count("errors", errors.load());
    return 0;
}

}  // namespace zk::bench
