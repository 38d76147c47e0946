#include "upnp/gateway_search.h"

#include <arpa/inet.h>

#include "core/validation.h"

namespace zk {

std::optional<GatewaySearch> parse_gateway_search(const std::string& text, std::string& error) {
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        GatewaySearch search{text.substr(0, colon), 0};
        in_addr address{};
        const std::optional<int> port = port_number(std::string_view(text).substr(colon + 1));
        if (port && ::inet_pton(AF_INET, search.address.c_str(), &address) == 1) {
            search.port = static_cast<std::uint16_t>(*port);
            return search;
        }
    }
    error = std::string(kGatewaySearchForm) + ", not \"" + text + "\"";
    return std::nullopt;
}

UpnpOptions search_options(const std::optional<GatewaySearch>& search) {
    UpnpOptions options;
    if (search) {
        options.search_address = search->address;
        options.search_port = search->port;
    }
    return options;
}

}  // namespace zk
