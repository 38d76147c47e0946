#pragma once
// `zelkorad --router`: the router management command, printed for scripts and terminals.

#include <optional>
#include <string>

namespace zk {

// Runs the command and prints its report to stdout (a failure to stderr). `gateway_search` is
// "host:port" or nothing for the multicast group. Returns the exit status: 0, 1 on failure,
// 2 for a malformed search address.
int run_router(const std::optional<std::string>& gateway_search);

}  // namespace zk
