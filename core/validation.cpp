#include "core/validation.h"

#include <algorithm>

namespace zk {
bool has_control_character(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::optional<int> port_number(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

std::optional<std::string> validate_mapping(const PortMapping& m, const MappingTable& table,
                                            EditKind kind) {
    if (m.name.empty() || has_control_character(m.name)) {
        return "invalid name, please reenter again!";
    }
    if (kind == EditKind::add && find_mapping(table, m.name) >= 0) {
        return "port mapping name already exist, please reenter again!";
    }
    // A port that is no port at all would listen on one the kernel picks, or on none.
    if (!port_number(m.listen_port)) return "invalid listen port, please reenter again!";
    if (m.destination_ip.empty()) return "invalid destination ip address, please reenter again!";
    if (m.destination_port.empty()) return "invalid destination port, please reenter again!";
    if (m.listen_port_type == "1") {
        const auto end = port_number(m.listen_port_end);
        if (!end) return "invalid end range of listen port, please reenter again!";
        if (*end <= *port_number(m.listen_port)) {
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
