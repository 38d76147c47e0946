#pragma once
// Runs one kind of short round (a connection, a proxied request) from several client threads at
// once, bounded by a count and a time, and prints the rate and the latency figures.

#include <functional>
#include <string>

namespace zk::bench {

struct RoundLimits {
    long long count = 0;  // rounds in all threads together
    int parallel = 1;     // client threads
    double seconds = 3;   // no round starts after this
};

// `round` runs one round and returns its time in µs, or a negative value (with errno set) when
// it failed. Prints `<rate_key>=<rounds per second>`, p50_us, p99_us, ok and errors; failures
// are summarised on stderr under `what`. Returns the mode's exit status.
int run_parallel_rounds(const RoundLimits& limits, const std::function<double()>& round,
                        const std::string& rate_key, const std::string& what);

}  // namespace zk::bench
