#pragma once
// Command line of zelkorad.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zk {

enum class DaemonCommand { run, check, router, help, version };

// Where the router command sends its gateway search instead of the multicast group; for
// gateways that answer a search sent to them directly.
struct GatewaySearch {
    std::string address;  // dotted IPv4, never a name: nothing is looked up
    std::uint16_t port = 0;
};

struct DaemonOptions {
    DaemonCommand command = DaemonCommand::run;
    std::optional<std::string> home;
    std::optional<GatewaySearch> gateway_search;
};

// Parses the arguments after the program name; on a fault returns nothing and sets `error`.
std::optional<DaemonOptions> parse_daemon_options(const std::vector<std::string>& args,
                                                  std::string& error);

std::string daemon_usage();
std::string daemon_version();

}  // namespace zk
