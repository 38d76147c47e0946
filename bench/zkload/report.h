#pragma once
// The comparison table compare.sh prints: per figure, every peer's median and range over the
// repetitions, with ratios to direct loopback and to the best other forwarder.

#include <optional>
#include <string>

#include "zkload/results.h"

namespace zk::bench {

// Where and when the figures were taken, for the table's first line.
struct MachineLine {
    std::string when;    // "2024-05-01 12:00"
    std::string kernel;  // uname -r
    int cores = 0;
};

// The table, or nothing with `error` set when a setting it needs (peers, tests, reps and the
// counts named in the titles) is missing.
std::optional<std::string> report_text(const Results& results, const MachineLine& machine,
                                       std::string& error);

}  // namespace zk::bench
