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

// Results go to stdout as "key=value" lines, one figure a line, for scripts to pick up.
void print_figure(const std::string& key, double value);
void print_count(const std::string& key, long long value);

}  // namespace zk::bench
