#include "engine/admission.h"

#include <arpa/inet.h>

namespace zk {

std::uint32_t ipv4_number(std::string_view dotted) {
    const std::string text(dotted);
    in_addr address{};
    if (::inet_aton(text.c_str(), &address) == 0) return 0xFFFFFFFFu;
    return ntohl(address.s_addr);
}

bool range_contains(std::string_view start, std::string_view end, std::uint32_t address) {
    return ipv4_number(start) <= address && address <= ipv4_number(end);
}

Admission check_session_limit(const PortMapping& mapping, int session_count) {
    if (mapping.max_sessions.empty()) return Admission::admitted;
    return session_count >= text_to_int(mapping.max_sessions) ? Admission::beyond_limit
                                                              : Admission::admitted;
}

Admission check_ip_strategy(const PortMapping& mapping, std::string_view client_address) {
    if (!is_set(mapping.enable_ip_strategy)) return Admission::admitted;
    const std::uint32_t client = ipv4_number(client_address);
    for (const IpRange& r : mapping.block_ip) {
        if (range_contains(r.start, r.end, client)) return Admission::blocked;
    }
    for (const IpRange& r : mapping.allow_ip) {
        if (range_contains(r.start, r.end, client)) return Admission::admitted;
    }
    return Admission::not_in_white_list;
}

std::string rejection_line(Admission result, std::string_view client_address, int client_port,
                           std::string_view mapping_name) {
    const char* reason = nullptr;
    switch (result) {
        case Admission::admitted: return {};
        case Admission::beyond_limit: reason = "beyond the limit of sessions"; break;
        case Admission::blocked: reason = "ip in block ip list"; break;
        case Admission::not_in_white_list: reason = "not in white ip list"; break;
    }
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about the chained operator+.
    std::string line = "[";
    line.append(client_address).append(":").append(std::to_string(client_port));
    line.append("] try to access port mapping[").append(mapping_name);
    line.append("] has been rejected.error[").append(reason).append("].\n");
    return line;
}

std::optional<Destination> choose_destination(const PortMapping& mapping,
                                              std::string_view client_address,
                                              std::uint64_t counter) {
    if (text_to_int(mapping.smart_strategy) != 0) {
        const auto& targets = mapping.smart_round_robin;
        if (targets.empty()) return std::nullopt;
        const RoundRobinTarget& t = targets[counter % targets.size()];
        return Destination{t.d_ip.str(), t.d_port.str()};
    }
    const auto& routes = mapping.smart_ip_range;
    if (routes.empty()) return std::nullopt;
    const std::uint32_t client = ipv4_number(client_address);
    for (const RouteEntry& r : routes) {
        if (range_contains(r.start, r.end, client))
            return Destination{r.d_ip.str(), r.d_port.str()};
    }
    return Destination{routes.front().d_ip.str(), routes.front().d_port.str()};
}

}  // namespace zk
