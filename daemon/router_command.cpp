#include "daemon/router_command.h"

#include <cstdio>

#include "upnp/router_report.h"

namespace zk {

int run_router(const std::optional<GatewaySearch>& gateway_search) {
    UpnpOptions options;
    if (gateway_search) {
        options.search_address = gateway_search->address;
        options.search_port = gateway_search->port;
    }
    const RouterReport report = run_router_command(options);
    const std::string text = format_router_report(report);
    std::fputs(text.c_str(), report.failure ? stderr : stdout);
    return report.failure ? 1 : 0;
}

}  // namespace zk
