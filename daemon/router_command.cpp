#include "daemon/router_command.h"

#include <cstdio>

#include "core/port_mapping.h"
#include "upnp/router_report.h"

namespace zk {

int run_router(const std::optional<std::string>& gateway_search) {
    UpnpOptions options;
    if (gateway_search) {
        const std::size_t colon = gateway_search->rfind(':');
        const int port =
            colon == std::string::npos ? 0 : text_to_int(gateway_search->substr(colon + 1));
        if (colon == 0 || port <= 0 || port > 65535) {
            std::fprintf(stderr, "zelkorad: --gateway-search needs host:port\n");
            return 2;
        }
        options.search_address = gateway_search->substr(0, colon);
        options.search_port = static_cast<std::uint16_t>(port);
    }
    const RouterReport report = run_router_command(options);
    const std::string text = format_router_report(report);
    std::fputs(text.c_str(), report.failure ? stderr : stdout);
    return report.failure ? 1 : 0;
}

}  // namespace zk
