#include "zkload/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "zkload/stats.h"

namespace zk::bench {

namespace {

enum class Better { high, low };

// One row of the table. `test` is the BENCH_TESTS name that measures it, `kind` the peer
// function it needs (peer, tlspair, httpproxy, udppeer); {name} in a title is a setting.
struct Metric {
    const char* key;
    const char* test;
    const char* kind;
    const char* title;
    const char* unit;
    Better better;
};

constexpr Metric kMetrics[] = {
    {"bulk1", "bulk1", "peer", "bulk throughput, 1 connection, client->server", "MB/s",
     Better::high},
    {"bulk8", "bulk8", "peer", "bulk throughput, 8 connections, client->server", "MB/s",
     Better::high},
    {"rr_p50", "rr", "peer", "request/response latency p50, 32 bytes", "us", Better::low},
    {"rr_p99", "rr", "peer", "request/response latency p99, 32 bytes", "us", Better::low},
    {"cps", "cps", "peer", "connections per second ({cps_parallel} parallel clients)", "conn/s",
     Better::high},
    {"cps_p50", "cps", "peer", "connect-to-first-byte p50", "us", Better::low},
    {"cps_p99", "cps", "peer", "connect-to-first-byte p99", "us", Better::low},
    {"idle_kb", "idle", "peer", "memory per idle session ({idle_sessions} sessions, VmRSS growth)",
     "KB", Better::low},
    {"idle_pss", "idle", "peer", "memory per idle session ({idle_sessions} sessions, Pss growth)",
     "KB", Better::low},
    {"idle_fds", "idle", "peer", "descriptors per idle session ({idle_sessions} sessions)",
     "descriptors", Better::low},
    {"idle_threads", "idle", "peer", "threads while holding {idle_sessions} sessions", "threads",
     Better::low},
    {"idle_procs", "idle", "peer", "processes while holding {idle_sessions} sessions", "processes",
     Better::low},
    {"idle_cpu", "idle", "peer", "CPU while the sessions sit idle ({idle_seconds} s)",
     "% of a core", Better::low},
    {"startup", "startup", "peer", "start to first reply through the forwarder", "ms", Better::low},
    {"tls1", "tls1", "tlspair",
     "TLS tunnel throughput, 1 connection, client end -> server end -> sink (direct: no TLS)",
     "MB/s", Better::high},
    {"tls8", "tls8", "tlspair", "TLS tunnel throughput, 8 connections (direct: no TLS)", "MB/s",
     Better::high},
    {"proxy_rps", "proxy", "httpproxy",
     "HTTP proxy requests per second, one per connection ({proxy_parallel} parallel clients)",
     "req/s", Better::high},
    {"proxy_p50", "proxy", "httpproxy", "HTTP proxy request time p50, connect to close", "us",
     Better::low},
    {"proxy_p99", "proxy", "httpproxy", "HTTP proxy request time p99, connect to close", "us",
     Better::low},
    {"udp_rr_p50", "udp_rr", "udppeer", "UDP request/response latency p50, 32 bytes", "us",
     Better::low},
    {"udp_rr_p99", "udp_rr", "udppeer", "UDP request/response latency p99, 32 bytes", "us",
     Better::low},
    {"udp_flood", "udp_flood", "udppeer",
     "UDP flood: 64-byte datagrams the sink received per second ({udp_flood_sockets} client "
     "sockets)",
     "dgram/s", Better::high},
    {"udp_flood_loss", "udp_flood", "udppeer", "UDP flood: datagrams sent but never received", "%",
     Better::low},
    {"udp_flood_sent", "udp_flood", "udppeer",
     "UDP flood: datagrams the client sent per second (offered load)", "dgram/s", Better::high},
};

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    std::vsnprintf(out.data(), out.size() + 1, pattern, again);
    va_end(again);
    return out;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = std::min(text.find(' ', at), text.size());
        if (end > at) out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// Whole numbers and figures from 1000 up without decimals, from 10 up with one, else two.
std::string num(double x) {
    const double a = std::fabs(x);
    if (a >= 1000 || x == std::trunc(x)) return format("%.0f", x);
    return format(a >= 10 ? "%.1f" : "%.2f", x);
}

std::string ratio(std::optional<double> figure, std::optional<double> reference) {
    if (!figure || !reference || *reference == 0) return "-";
    return format("%.2f", *figure / *reference);
}

// The title with each {name} replaced by that setting; nothing when one is missing.
std::optional<std::string> fill_title(const std::string& title, const Results& results,
                                      std::string& error) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const auto open = title.find('{', at);
        if (open == std::string::npos) return out + title.substr(at);
        const auto close = title.find('}', open);
        const std::string name = title.substr(open + 1, close - open - 1);
        const auto it = results.settings.find(name);
        if (it == results.settings.end()) {
            error = "no setting " + name;
            return std::nullopt;
        }
        out += title.substr(at, open - at) + it->second;
        at = close + 1;
    }
}

class Table {
public:
    explicit Table(const Results& results) : results_(results) {}

    bool supports(const std::string& peer, const Metric& metric) const {
        if (peer == "direct") return true;
        const auto it = results_.kinds.find(peer);
        return it != results_.kinds.end() && it->second.count(metric.kind) != 0;
    }

    // A TCP forwarder in a UDP row: listed as "n/a", not as failed.
    bool not_applicable(const std::string& peer, const Metric& metric) const {
        const auto it = results_.kinds.find(peer);
        return std::string_view(metric.kind) == "udppeer" && it != results_.kinds.end() &&
               it->second.count("peer") != 0;
    }

    const std::vector<double>* figures(const std::string& peer, const Metric& metric) const {
        const auto it = results_.figures.find({peer, metric.key});
        return it == results_.figures.end() ? nullptr : &it->second;
    }

    std::optional<double> median(const std::string& peer, const Metric& metric) const {
        const auto* values = figures(peer, metric);
        if (values == nullptr) return std::nullopt;
        return spread(*values).median;
    }

    const std::string* failure(const std::string& peer, const std::string& metric) const {
        const auto it = results_.failures.find({peer, metric});
        return it == results_.failures.end() ? nullptr : &it->second;
    }

private:
    const Results& results_;
};

void add_metric(std::string& out, const Table& table, const Metric& metric,
                const std::string& title, const std::vector<std::string>& peers) {
    std::string best = "-";
    std::optional<double> best_median;
    for (const auto& peer : peers) {
        if (peer == "direct" || peer == "zelkorad" || !table.supports(peer, metric)) continue;
        const auto m = table.median(peer, metric);
        if (!m) continue;
        if (!best_median ||
            (metric.better == Better::high ? *m > *best_median : *m < *best_median)) {
            best = peer;
            best_median = m;
        }
    }
    const auto direct = table.median("direct", metric);
    out += format("\n== %s (%s, %s is better; best peer: %s)\n", title.c_str(), metric.unit,
                  metric.better == Better::high ? "higher" : "lower", best.c_str());
    out += format("%-10s %10s %21s %9s %9s\n", "peer", "median", "min-max", "x direct", "x best");
    for (const auto& peer : peers) {
        const char* name = peer.c_str();
        if (!table.supports(peer, metric)) {
            if (table.not_applicable(peer, metric))
                out += format("%-10s %10s  (forwards TCP only)\n", name, "n/a");
            continue;
        }
        const auto* peer_failure = table.failure(peer, std::string(kWholePeer));
        const auto* metric_failure = table.failure(peer, metric.key);
        const auto* values = table.figures(peer, metric);
        if (values == nullptr) {
            const auto* reason = peer_failure != nullptr ? peer_failure : metric_failure;
            out += reason != nullptr ? format("%-10s FAILED: %s\n", name, reason->c_str())
                                     : format("%-10s %10s\n", name, "-");
            continue;
        }
        const Spread s = spread(*values);
        const std::string range = num(s.min) + "-" + num(s.max);
        out += format("%-10s %10s %21s %9s %9s", name, num(s.median).c_str(), range.c_str(),
                      ratio(s.median, direct).c_str(), ratio(s.median, best_median).c_str());
        const auto* reason = metric_failure != nullptr ? metric_failure : peer_failure;
        if (reason != nullptr) out += "  (some runs failed: " + *reason + ")";
        out += "\n";
    }
}

}  // namespace

std::optional<std::string> report_text(const Results& results, const MachineLine& machine,
                                       std::string& error) {
    for (const char* needed : {"peers", "tests", "reps"}) {
        if (results.settings.count(needed) == 0) {
            error = std::string("no setting ") + needed;
            return std::nullopt;
        }
    }
    const auto peers = words(results.settings.at("peers"));
    const auto tests = words(results.settings.at("tests"));
    std::string out = format("\nZelkora forwarder comparison: %s, %s, %d cores, %s repetitions\n",
                             machine.when.c_str(), machine.kernel.c_str(), machine.cores,
                             results.settings.at("reps").c_str());
    out +=
        "Ratios are this figure / the reference figure (for times, memory and CPU above 1 is "
        "worse).\n";
    out += "\"best peer\" is the best of the other forwarders (not direct, not zelkorad).\n";
    const Table table(results);
    for (const auto& metric : kMetrics) {
        if (std::find(tests.begin(), tests.end(), metric.test) == tests.end()) continue;
        const auto title = fill_title(metric.title, results, error);
        if (!title) return std::nullopt;
        add_metric(out, table, metric, *title, peers);
    }
    return out;
}

}  // namespace zk::bench
