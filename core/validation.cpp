#include "core/validation.h"

namespace zk {

std::optional<std::string> validate_mapping(const PortMapping& m, const MappingTable& table,
                                            EditKind kind) {
    if (m.name.empty()) return "invalid name, please reenter again!";
    if (kind == EditKind::add && find_mapping(table, m.name) >= 0) {
        return "port mapping name already exist, please reenter again!";
    }
    if (m.listen_port.empty()) return "invalid listen port, please reenter again!";
    if (m.destination_ip.empty()) return "invalid destination ip address, please reenter again!";
    if (m.destination_port.empty()) return "invalid destination port, please reenter again!";
    if (m.listen_port_type == "1") {
        if (m.listen_port_end.empty()) {
            return "invalid end range of listen port, please reenter again!";
        }
        if (text_to_int(m.listen_port_end) - text_to_int(m.listen_port) <= 0) {
            return "the end range of listen port must larger than the start range of listen "
                   "port, please reenter again!";
        }
    }
    return std::nullopt;
}

std::optional<std::string> complete_ip_range(IpRange& range) {
    if (range.start.empty()) return "invalid from ip address, please reenter again!";
    if (range.end.empty()) range.end = range.start.view();
    return std::nullopt;
}

}  // namespace zk
