#include "zkload/report.h"

#include <gtest/gtest.h>

#include <string>

namespace zk::bench {
namespace {

const MachineLine kMachine{"2024-05-01 12:00", "6.1.0", 2};

// Three peers of different kinds, a whole-peer failure after one good run, a failed metric,
// an even count of repetitions and figures of every size.
constexpr const char* kResults =
    "setting\treps\t3\n"
    "setting\tpeers\tdirect zelkorad socat haproxy tinyproxy\n"
    "setting\ttests\trr udp_rr proxy\n"
    "setting\tproxy_parallel\t4\n"
    "kinds\tzelkorad\tpeer tlspair httpproxy udppeer\n"
    "kinds\tsocat\tpeer udppeer\n"
    "kinds\thaproxy\tpeer\n"
    "kinds\ttinyproxy\thttpproxy\n"
    "figure\tdirect\trr_p50\t12\n"
    "figure\tdirect\trr_p50\t10\n"
    "figure\tdirect\trr_p50\t11\n"
    "figure\tzelkorad\trr_p50\t20.5\n"
    "figure\tzelkorad\trr_p50\t21.25\n"
    "failed\tzelkorad\t*\tno reply through it\n"
    "figure\tsocat\trr_p50\t30\n"
    "figure\thaproxy\trr_p50\t25\n"
    "figure\tdirect\trr_p99\t1500\n"
    "figure\thaproxy\trr_p99\t2000.4\n"
    "figure\tdirect\tudp_rr_p50\t5.5\n"
    "figure\tzelkorad\tudp_rr_p50\t8.25\n"
    "failed\tsocat\tudp_rr_p50\ttimed out\n"
    "failed\tsocat\tudp_rr_p50\ta later reason\n"
    "figure\tdirect\tproxy_rps\t10000\n"
    "figure\tzelkorad\tproxy_rps\t5000\n"
    "figure\ttinyproxy\tproxy_rps\t2500\n"
    "figure\ttinyproxy\tproxy_rps\t3000\n";

// The medians and ranges, the best peer (a failed or TCP-only peer never is; direct and zelkorad
// are not candidates), ratios to both, "n/a" for a TCP forwarder in a UDP row, no row for a peer
// without the kind, failures and partial failures; only the rows of the tests that ran.
constexpr const char* kExpected =
    "\n"
    "Zelkora forwarder comparison: 2024-05-01 12:00, 6.1.0, 2 cores, 3 repetitions\n"
    "Ratios are this figure / the reference figure (for times, memory and CPU above 1 is worse).\n"
    "\"best peer\" is the best of the other forwarders (not direct, not zelkorad).\n"
    "\n"
    "== request/response latency p50, 32 bytes (us, lower is better; best peer: haproxy)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct             11                 10-12      1.00      0.44\n"
    "zelkorad         20.9             20.5-21.2      1.90      0.83  (some runs failed: no reply "
    "through it)\n"
    "socat              30                 30-30      2.73      1.20\n"
    "haproxy            25                 25-25      2.27      1.00\n"
    "\n"
    "== request/response latency p99, 32 bytes (us, lower is better; best peer: haproxy)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct           1500             1500-1500      1.00      0.75\n"
    "zelkorad   FAILED: no reply through it\n"
    "socat               -\n"
    "haproxy          2000             2000-2000      1.33      1.00\n"
    "\n"
    "== HTTP proxy requests per second, one per connection (4 parallel clients) (req/s, higher is "
    "better; best peer: tinyproxy)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct          10000           10000-10000      1.00      3.64\n"
    "zelkorad         5000             5000-5000      0.50      1.82  (some runs failed: no reply "
    "through it)\n"
    "tinyproxy        2750             2500-3000      0.28      1.00\n"
    "\n"
    "== HTTP proxy request time p50, connect to close (us, lower is better; best peer: -)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct              -\n"
    "zelkorad   FAILED: no reply through it\n"
    "tinyproxy           -\n"
    "\n"
    "== HTTP proxy request time p99, connect to close (us, lower is better; best peer: -)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct              -\n"
    "zelkorad   FAILED: no reply through it\n"
    "tinyproxy           -\n"
    "\n"
    "== UDP request/response latency p50, 32 bytes (us, lower is better; best peer: -)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct           5.50             5.50-5.50      1.00         -\n"
    "zelkorad         8.25             8.25-8.25      1.50         -  (some runs failed: no reply "
    "through it)\n"
    "socat      FAILED: timed out\n"
    "haproxy           n/a  (forwards TCP only)\n"
    "\n"
    "== UDP request/response latency p99, 32 bytes (us, lower is better; best peer: -)\n"
    "peer           median               min-max  x direct    x best\n"
    "direct              -\n"
    "zelkorad   FAILED: no reply through it\n"
    "socat               -\n"
    "haproxy           n/a  (forwards TCP only)\n";

TEST(BenchReport, TableKeepsItsRowsColumnsAndRatios) {
    std::string error;
    const auto results = parse_results(kResults, error);
    ASSERT_TRUE(results) << error;
    const auto table = report_text(*results, kMachine, error);
    ASSERT_TRUE(table) << error;
    EXPECT_EQ(*table, kExpected);
}

TEST(BenchReport, RefusesMalformedResults) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"figure\tdirect\trr_p50\tfast\n", "line 1: not a number: fast"},
        {"setting\treps\t3\n\nfigure\tdirect\trr_p50\tnan\n", "line 3: not a number"},
        {"figure\tdirect\trr_p50\n", "line 1: expected"},
        {"setting\treps\t3\nvalue\tdirect\trr_p50\t1\n", "line 2: expected"},
        {"failed\t\trr_p50\twhy\n", "line 1: expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(parse_results(c.text, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(parse_results(std::string(kMaxResultsBytes + 1, '\n'), error));
    EXPECT_NE(error.find("more than"), std::string::npos) << error;
}

TEST(BenchReport, NamesAMissingSetting) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"setting\tpeers\tdirect\nsetting\ttests\trr\n", "no setting reps"},
        {"setting\tpeers\tdirect\nsetting\ttests\tcps\nsetting\treps\t1\n",
         "no setting cps_parallel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto results = parse_results(c.text, error);
        ASSERT_TRUE(results) << error;
        EXPECT_FALSE(report_text(*results, kMachine, error));
        EXPECT_EQ(error, c.message);
    }
}

}  // namespace
}  // namespace zk::bench
