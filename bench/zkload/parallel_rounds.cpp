#include "zkload/parallel_rounds.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "zkload/net.h"
#include "zkload/stats.h"

namespace zk::bench {

int run_parallel_rounds(const RoundLimits& limits, const std::function<double()>& round,
                        const std::string& rate_key, const std::string& what) {
    std::atomic<long long> next{0};
    std::atomic<long long> errors{0};
    std::mutex lock;
    std::vector<double> samples;
    std::string first_error;
    const auto start = Clock::now();
    const auto deadline = after_seconds(start, limits.seconds);
    std::vector<std::thread> workers;
    for (int w = 0; w < limits.parallel; ++w) {
        workers.emplace_back([&] {
            std::vector<double> mine;
            while (next.fetch_add(1) < limits.count && Clock::now() < deadline) {
                const double us = round();
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
    const double elapsed = seconds_between(start, Clock::now());

    if (errors.load() > 0) {
        std::fprintf(stderr, "zkload: %lld failed %s (first: %s)\n", errors.load(), what.c_str(),
                     first_error.c_str());
    }
    if (samples.empty()) return 1;
    const auto ok = static_cast<long long>(samples.size());
    const Summary s = summarize(samples);
    print_figure(rate_key, static_cast<double>(ok) / elapsed);
    print_figure("p50_us", s.p50);
    print_figure("p99_us", s.p99);
    print_count("ok", ok);
    print_count("errors", errors.load());
    return 0;
}

}  // namespace zk::bench
