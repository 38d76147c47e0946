#include "ui/desktop_options.h"

#include <algorithm>

namespace zk {
namespace {

constexpr std::size_t kLongestHostName = 253;

// Letters, digits, dots and hyphens, as a DNS name or a dotted address is written: the name
// goes into the tester page's address.
bool is_host_name(const std::string& text) {
    return !text.empty() && text.size() <= kLongestHostName &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-';
           });
}

}  // namespace

std::optional<DesktopOptions> parse_desktop_options(const std::vector<std::string>& args,
                                                    std::string& error) {
    DesktopOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--home" && has_value) {
            options.home = args[++i];
        } else if (a.starts_with("--home=")) {
            options.home = a.substr(7);
        } else if (a == "--gateway-search" && has_value) {
            options.gateway_search = parse_gateway_search(args[++i], error);
            if (!options.gateway_search) return std::nullopt;
        } else if (a == "--port-tester-host" && has_value) {
            options.port_tester_host = args[++i];
            if (!is_host_name(options.port_tester_host)) {
                error = "--port-tester-host needs a host name, such as " +
                        std::string(kDefaultPortTesterHost) + ", not \"" +
                        options.port_tester_host + "\"";
                return std::nullopt;
            }
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--home") {
            error = "--home needs a directory";
            return std::nullopt;
        } else if (a == "--gateway-search") {
            error = kGatewaySearchForm;
            return std::nullopt;
        } else if (a == "--port-tester-host") {
            error = "--port-tester-host needs a host name";
            return std::nullopt;
        } else if (a.starts_with("--")) {
            error = "unknown option: " + a;
            return std::nullopt;
        }
    }
    return options;
}

std::string desktop_usage() {
    return "Usage: zelkora [--home DIR] [--gateway-search ADDRESS:PORT] [--port-tester-host HOST]\n"
           "Opens the Zelkora window and runs the port mappings and triggers of DIR/config.xml.\n"
           "\n"
           "  --home DIR   program directory (default: $ZELKORA_HOME, else the executable's)\n"
           "  --gateway-search ADDRESS:PORT\n"
           "               send the router window's search to this IPv4 address and port\n"
           "               instead of the multicast group 239.255.255.250:1900\n"
           "  --port-tester-host HOST\n"
           "               the host of the port tester page (default: " +
           std::string(kDefaultPortTesterHost) +
           ")\n"
           "  --help       show this text\n"
           "  --version    show the version\n";
}

}  // namespace zk
