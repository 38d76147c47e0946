#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zk::bench {

struct Summary {
    std::size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double mean = 0;
    double max = 0;
};

// Nearest-rank percentiles; sorts the samples in place.
Summary summarize(std::vector<double>& samples);

// The median (the mean of the middle two for an even count) and the range of repeated figures.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};
// Requires at least one value.
Spread spread(std::vector<double> values);

// Results go to stdout as "key=value" lines, one figure a line, for scripts to pick up.
void print_figure(const std::string& key, double value);
void print_count(const std::string& key, long long value);

// The figures of a request/response mode (p50_us, p99_us, mean_us, max_us, count); false, with
// a message naming `mode`, when no exchange finished within `seconds`.
bool print_latency(const char* mode, std::vector<double>& samples, double seconds);

}  // namespace zk::bench
