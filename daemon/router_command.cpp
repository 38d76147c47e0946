#include "daemon/router_command.h"

#include <cstdio>

#include "upnp/gateway_search.h"
#include "upnp/router_report.h"

namespace zk {

int run_router(const std::optional<GatewaySearch>& gateway_search) {
    const RouterReport report = run_router_command(search_options(gateway_search));
    const std::string text = format_router_report(report);
    std::fputs(text.c_str(), report.failure ? stderr : stdout);
    return report.failure ? 1 : 0;
}

}  // namespace zk
