#pragma once
// `zelkorad --router`: the router management command, printed for scripts and terminals.

#include <optional>

#include "daemon/options.h"

namespace zk {

// Runs the command and prints its report to stdout (a failure to stderr). Without
// `gateway_search` the search goes to the multicast group. Returns the exit status: 0, or 1 on
// failure.
int run_router(const std::optional<GatewaySearch>& gateway_search);

}  // namespace zk
