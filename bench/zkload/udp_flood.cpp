// UDP flood: small datagrams from a few sockets, as fast as possible or at a set rate, for a
// bounded time and count. The sink (asked directly, never through the forwarder) tells how many
// arrived and when the last one did, so the figure is what the far end actually received.

#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zkload/modes.h"
#include "zkload/stats.h"
#include "zkload/udp.h"

namespace zk::bench {

namespace {

constexpr int warmup_rounds = 5;
constexpr long long warmup_gap_ms = 20;
constexpr long long quiet_poll_ms = 50;
constexpr auto quiet_limit = std::chrono::seconds(3);

// The sink's figures once they stop growing (two equal answers in a row, 3 s at most): the
// datagrams still queued in the forwarder have arrived by then.
std::optional<SinkFigures> settled_figures(const sockaddr_in& sink) {
    auto last = query_sink(sink);
    const auto until = Clock::now() + quiet_limit;
    while (last && Clock::now() < until) {
        sleep_for_ms(quiet_poll_ms);
        const auto next = query_sink(sink);
        if (!next) return std::nullopt;
        if (next->datagrams == last->datagrams) return next;
        last = next;
    }
    return last;
}

}  // namespace

int run_udp_flood(Args& args) {
    const auto target = target_option(args);
    const std::string sink_text = args.text("sink", "");
    const double seconds = args.real("seconds", 3.0, 0.1, 60.0);
    const long long max_count = args.number("count", 100000000, 1, 1000000000);
    const int sockets = static_cast<int>(args.number("sockets", 4, 1, 64));
    const auto size = static_cast<std::size_t>(args.number("size", 64, 1, 1472));
    const double rate = args.real("rate", 0.0, 0.0, 1e8);
    if (!args_ok(args) || !target) return 2;
    std::string error;
    const auto sink = sink_text.empty() ? target : parse_loopback(sink_text, error);
    if (!sink) {
        std::fprintf(stderr, "--sink: %s\n", error.c_str());
        return 2;
    }

    std::vector<Fd> fds;
    for (int i = 0; i < sockets; ++i) {
        fds.push_back(open_udp_client(*target, std::chrono::milliseconds(1)));
        if (!fds.back().valid()) {
            std::fprintf(stderr, "zkload udp_flood: socket: %s\n", std::strerror(errno));
            return 1;
        }
    }
    const std::string payload(size, 'F');  // never the sink's query text
    // A few datagrams per socket first, so every forwarder session exists before the clock runs.
    for (int round = 0; round < warmup_rounds; ++round) {
        for (auto& fd : fds)
            ::send(fd.get(), payload.data(), size, 0);
        sleep_for_ms(warmup_gap_ms);
    }
    const auto before = settled_figures(*sink);
    if (!before) {
        std::fprintf(stderr, "zkload udp_flood: the sink %s does not answer\n",
                     to_text(*sink).c_str());
        return 1;
    }

    long long sent = 0;
    long long send_errors = 0;
    const auto t0 = Clock::now();
    const auto end = after_seconds(t0, seconds);
    for (auto now = t0; sent + send_errors < max_count && now < end; now = Clock::now()) {
        if (rate > 0 && static_cast<double>(sent) >= rate * seconds_between(t0, now)) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));  // ahead of the rate
            continue;
        }
        const auto attempt = static_cast<std::size_t>(sent + send_errors);
        const int fd = fds[attempt % fds.size()].get();
        if (::send(fd, payload.data(), size, 0) == static_cast<ssize_t>(size)) {
            ++sent;
        } else {
            ++send_errors;  // e.g. ECONNREFUSED reported from an earlier datagram
        }
    }
    const auto t1 = Clock::now();

    const auto after = settled_figures(*sink);
    if (!after) {
        std::fprintf(stderr, "zkload udp_flood: the sink %s stopped answering\n",
                     to_text(*sink).c_str());
        return 1;
    }
    const auto delivered = static_cast<long long>(after->datagrams - before->datagrams);
    if (delivered <= 0 || after->last <= t0) {
        std::fprintf(stderr, "zkload udp_flood: none of %lld datagrams reached the sink\n", sent);
        return 1;
    }
    print_count("sent", sent);
    print_count("send_errors", send_errors);
    print_count("delivered", delivered);
    print_figure("sent_per_s", static_cast<double>(sent) / seconds_between(t0, t1));
    // Until the last arrival: datagrams a forwarder queued are counted when they arrive.
    print_figure("delivered_per_s",
                 static_cast<double>(delivered) / seconds_between(t0, after->last));
    print_figure(
        "loss_pct",
        sent > 0 ? 100.0 * static_cast<double>(sent - delivered) / static_cast<double>(sent) : 0.0);
    return 0;
}

}  // namespace zk::bench
