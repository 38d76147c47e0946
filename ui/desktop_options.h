#pragma once
// Command line of zelkora. Options with a single dash (-platform, -style) belong to Qt and are
// left to it.

#include <optional>
#include <string>
#include <vector>

#include "upnp/gateway_search.h"

namespace zk {

// The host of the port tester page, unless --port-tester-host names another.
inline constexpr const char* kDefaultPortTesterHost = "www.zelkora.net";

struct DesktopOptions {
    std::optional<std::string> home;
    std::optional<GatewaySearch> gateway_search;
    std::string port_tester_host = kDefaultPortTesterHost;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name; on a fault returns nothing and sets `error`.
std::optional<DesktopOptions> parse_desktop_options(const std::vector<std::string>& args,
                                                    std::string& error);

std::string desktop_usage();

}  // namespace zk
