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

void print_figure(const std::string& key, double value) {
    std::printf("%s=%.2f\n", key.c_str(), value);
    std::fflush(stdout);
}

void print_count(const std::string& key, long long value) {
    std::printf("%s=%lld\n", key.c_str(), value);
    std::fflush(stdout);
}

}  // namespace zk::bench
