#pragma once
// Command line of zelkorad.

#include <optional>
#include <string>
#include <vector>

namespace zk {

enum class DaemonCommand { run, check, router, help, version };

struct DaemonOptions {
    DaemonCommand command = DaemonCommand::run;
    std::optional<std::string> home;
    // Where the router command sends its gateway search ("host:port"), instead of the
    // multicast group; for gateways that answer a search sent to them directly.
    std::optional<std::string> gateway_search;
};

// Parses the arguments after the program name; on a fault returns nothing and sets `error`.
std::optional<DaemonOptions> parse_daemon_options(const std::vector<std::string>& args,
                                                  std::string& error);

std::string daemon_usage();
std::string daemon_version();

}  // namespace zk
