#include "zkload/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace zk::bench {

namespace {

double rank(const std::vector<double>& sorted, double fraction) {
    const auto n = static_cast<double>(sorted.size());
    const auto index = static_cast<std::size_t>(std::max(1.0, std::ceil(fraction * n))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

Summary summarize(std::vector<double>& samples) {
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.count = samples.size();
    s.p50 = rank(samples, 0.50);
    s.p99 = rank(samples, 0.99);
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(s.count);
    s.max = samples.back();
    return s;
}

Spread spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void print_figure(const std::string& key, double value) {
    std::printf("%s=%.2f\n", key.c_str(), value);
    std::fflush(stdout);
}

void print_count(const std::string& key, long long value) {
    std::printf("%s=%lld\n", key.c_str(), value);
    std::fflush(stdout);
}

bool print_latency(const char* mode, std::vector<double>& samples, double seconds) {
    if (samples.empty()) {
        std::fprintf(stderr, "zkload %s: no exchange finished within %.1f s\n", mode, seconds);
        return false;
    }
    const Summary s = summarize(samples);
    print_figure("p50_us", s.p50);
    print_figure("p99_us", s.p99);
    print_figure("mean_us", s.mean);
    print_figure("max_us", s.max);
    print_count("count", static_cast<long long>(s.count));
    return true;
}

}  // namespace zk::bench
