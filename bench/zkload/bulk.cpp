// Bulk throughput: N connections move data for a fixed time; MB/s is 10^6 bytes per second of
// payload counted at the receiving end.

#include <sys/socket.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"
#include "zkload/server_loop.h"
#include "zkload/stats.h"

namespace zk::bench {

namespace {

constexpr std::size_t chunk_size = 128 * 1024;

struct StreamResult {
    std::uint64_t bytes = 0;
    Clock::time_point done;
    std::string error;
};

// Sends until the deadline, then the end byte, and reads the count the sink received: the
// stream counts only when every byte arrived.
void upload(int fd, Clock::time_point deadline, std::uint64_t max_bytes, StreamResult& r) {
    std::vector<char> data(chunk_size, 'u');
    std::uint64_t sent = 0;
    while (sent < max_bytes && Clock::now() < deadline) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk_size, max_bytes - sent));
        const ssize_t w = ::send(fd, data.data(), n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            r.error = std::string("send: ") + std::strerror(errno);
            return;
        }
        sent += static_cast<std::uint64_t>(w);
    }
    unsigned char reply[8];
    const char end = bulk_upload_end;
    if (!send_all(fd, &end, 1) || !recv_exact(fd, reply, sizeof reply)) {
        r.error = std::string("no byte count from the sink: ") + std::strerror(errno);
        return;
    }
    r.done = Clock::now();
    std::uint64_t received = 0;
    for (int b = 7; b >= 0; --b)
        received = (received << 8) | reply[b];
    if (received != sent) {
        r.error =
            "sink received " + std::to_string(received) + " of " + std::to_string(sent) + " bytes";
        return;
    }
    r.bytes = received;
}

void download(int fd, Clock::time_point deadline, StreamResult& r) {
    std::vector<char> data(2 * chunk_size);
    while (Clock::now() < deadline) {
        const ssize_t n = ::recv(fd, data.data(), data.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            r.error = std::string("recv: ") + std::strerror(errno);
            return;
        }
        if (n == 0) break;
        r.bytes += static_cast<std::uint64_t>(n);
    }
    r.done = Clock::now();
}

}  // namespace

int run_bulk(Args& args) {
    const auto target = target_option(args);
    const int conns = static_cast<int>(args.number("conns", 1, 1, 256));
    const double seconds = args.real("seconds", 3.0, 0.1, 600.0);
    const auto max_mb = args.number("max-mb", 100000, 1, 10000000);
    const std::string direction = args.text("direction", "up");
    const auto io_timeout = io_timeout_option(args);
    if (!args_ok(args) || !target) return 2;
    if (direction != "up" && direction != "down") {
        std::fprintf(stderr, "--direction is up or down\n");
        return 2;
    }
    const bool up = direction == "up";
    const std::uint64_t max_bytes = static_cast<std::uint64_t>(max_mb) * 1000000 / conns;

    std::vector<Fd> fds;
    for (int i = 0; i < conns; ++i) {
        Fd fd = open_connection(*target, io_timeout);
        unsigned char header[bulk_header_size] = {static_cast<unsigned char>(up ? 'U' : 'D')};
        for (int b = 0; b < 8; ++b)
            header[1 + b] = static_cast<unsigned char>(max_bytes >> (8 * b));
        if (!fd.valid() || !send_all(fd.get(), header, sizeof header)) {
            std::fprintf(stderr, "zkload bulk: connection %d to %s: %s\n", i + 1,
                         to_text(*target).c_str(), std::strerror(errno));
            return 1;
        }
        fds.push_back(std::move(fd));
    }

    std::vector<StreamResult> results(static_cast<std::size_t>(conns));
    const auto start = Clock::now();
    const auto deadline = after_seconds(start, seconds);
    std::vector<std::thread> workers;
    for (int i = 0; i < conns; ++i) {
        workers.emplace_back([&, i] {
            if (up) {
                upload(fds[static_cast<std::size_t>(i)].get(), deadline, max_bytes, results[i]);
            } else {
                download(fds[static_cast<std::size_t>(i)].get(), deadline, results[i]);
            }
        });
    }
    for (auto& w : workers)
        w.join();

    std::uint64_t total = 0;
    auto end = start;
    for (const auto& r : results) {
        if (!r.error.empty()) {
            std::fprintf(stderr, "zkload bulk: %s\n", r.error.c_str());
            return 1;
        }
        total += r.bytes;
        end = std::max(end, r.done);
    }
    const double elapsed = seconds_between(start, end);
    print_figure("mbps", elapsed > 0 ? static_cast<double>(total) / elapsed / 1e6 : 0.0);
    print_count("bytes", static_cast<long long>(total));
    print_figure("seconds", elapsed);
    return 0;
}

}  // namespace zk::bench
