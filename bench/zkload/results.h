#pragma once
// results.tsv: what compare.sh measured, one tab-separated record a line:
//   setting  NAME   VALUE              the run's parameters (reps, peers, tests, counts)
//   kinds    PEER   KIND...            which of peer, tlspair, httpproxy, udppeer it has
//   figure   PEER   METRIC  NUMBER     one repetition's figure
//   failed   PEER   METRIC  REASON     METRIC "*": the whole peer failed
// The first reason recorded for a peer and metric is kept.

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zk::bench {

// The file is ours, but a stray one must not make the report hold without limit.
inline constexpr std::size_t kMaxResultsBytes = 16 * 1024 * 1024;

inline constexpr std::string_view kWholePeer = "*";

struct Results {
    using Key = std::pair<std::string, std::string>;  // peer, metric
    std::map<std::string, std::string> settings;
    std::map<std::string, std::set<std::string>> kinds;
    std::map<Key, std::vector<double>> figures;
    std::map<Key, std::string> failures;
};

// Nothing, with `error` naming the line, when a line is not one of the records above.
std::optional<Results> parse_results(std::string_view text, std::string& error);

}  // namespace zk::bench
