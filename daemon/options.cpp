#include "daemon/options.h"

#include <arpa/inet.h>

#include "core/validation.h"

namespace zk {
namespace {

constexpr const char* kGatewaySearchForm =
    "--gateway-search needs an IPv4 address and a port, such as 127.0.0.1:1900";

// "a.b.c.d:port"; none for anything else, a host name included.
std::optional<GatewaySearch> parse_gateway_search(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    GatewaySearch search{text.substr(0, colon), 0};
    in_addr address{};
    const std::optional<int> port = port_number(std::string_view(text).substr(colon + 1));
    if (!port || ::inet_pton(AF_INET, search.address.c_str(), &address) != 1) return std::nullopt;
    search.port = static_cast<std::uint16_t>(*port);
    return search;
}

}  // namespace

std::optional<DaemonOptions> parse_daemon_options(const std::vector<std::string>& args,
                                                  std::string& error) {
    DaemonOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--home") {
            if (i + 1 == args.size()) {
                error = "--home needs a directory";
                return std::nullopt;
            }
            options.home = args[++i];
        } else if (a.rfind("--home=", 0) == 0) {
            options.home = a.substr(7);
        } else if (a == "--router") {
            options.command = DaemonCommand::router;
        } else if (a == "--gateway-search") {
            if (i + 1 == args.size()) {
                error = kGatewaySearchForm;
                return std::nullopt;
            }
            options.gateway_search = parse_gateway_search(args[++i]);
            if (!options.gateway_search) {
                error = std::string(kGatewaySearchForm) + ", not \"" + args[i] + "\"";
                return std::nullopt;
            }
        } else if (a == "--check") {
            options.command = DaemonCommand::check;
        } else if (a == "--help" || a == "-h") {
            options.command = DaemonCommand::help;
        } else if (a == "--version") {
            options.command = DaemonCommand::version;
        } else {
            error = "unknown option: " + a;
            return std::nullopt;
        }
    }
    return options;
}

std::string daemon_usage() {
    return "Usage: zelkorad [--home DIR] [--check | --router [--gateway-search ADDRESS:PORT]]\n"
           "Runs the Zelkora port mappings and triggers of DIR/config.xml in the foreground.\n"
           "\n"
           "  --home DIR   program directory (default: $ZELKORA_HOME, else the executable's)\n"
           "  --check      load the configuration, list what it holds and exit\n"
           "               (exit 1 when the file is invalid)\n"
           "  --router     find the UPnP gateway, print its external address and its port\n"
           "               forwardings, one per line (exit 1 when that fails)\n"
           "  --gateway-search ADDRESS:PORT\n"
           "               send the router command's search to this IPv4 address and\n"
           "               port instead of the multicast group 239.255.255.250:1900\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "SIGTERM, SIGINT and SIGHUP save config.xml and exit.\n";
}

std::string daemon_version() {
    return std::string("zelkorad ") + ZK_VERSION + "\n";
}

}  // namespace zk
