// HTTP requests per second: each request on a connection of its own, sent straight to the
// origin or through an HTTP proxy in absolute form; the response is read to the close.

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

// Connect, request, read the whole response; µs for all of it, or negative on failure (a
// response other than the origin's fixed one counts as a failure).
double one_request(const sockaddr_in& target, std::chrono::milliseconds io_timeout,
                   const std::string& request, std::string& response) {
    const auto t0 = Clock::now();
    Fd fd = open_connection(target, io_timeout);
    if (!fd.valid() || !send_all(fd.get(), request.data(), request.size())) return -1;
    response.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        response.append(buffer, static_cast<std::size_t>(n));
        if (response.size() > 65536) break;
    }
    if (response != http_origin_reply) {
        errno = EBADMSG;
        return -1;
    }
    return micros_between(t0, Clock::now());
}

}  // namespace

int run_http(Args& args) {
    const auto target = target_option(args);
    const std::string origin_text = args.text("via-proxy-to", "");
    const long long count = args.number("count", 20000, 1, 1000000);
    const int parallel = static_cast<int>(args.number("parallel", 4, 1, 256));
    const double seconds = args.real("seconds", 3.0, 0.1, 600.0);
    const auto io_timeout = io_timeout_option(args);
    if (!args_ok(args) || !target) return 2;
    std::string request =
        "GET / HTTP/1.1\r\nHost: " + to_text(*target) + "\r\nConnection: close\r\n\r\n";
    if (!origin_text.empty()) {
        std::string error;
        const auto origin = parse_loopback(origin_text, error);
        if (!origin) {
            std::fprintf(stderr, "--via-proxy-to: %s\n", error.c_str());
            return 2;
        }
        const std::string host = to_text(*origin);
        request =
            "GET http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    }

    return run_parallel_rounds(
        {count, parallel, seconds},
        [&] {
            thread_local std::string response;
            return one_request(*target, io_timeout, request, response);
        },
        "rps", "requests");
}

}  // namespace zk::bench
