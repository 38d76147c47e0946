#include "core/port_mapping.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace zk {

int text_to_int(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;  // saturate instead of overflow
    }
    return static_cast<int>(negative ? -value : value);
}

std::vector<int> listen_ports(const PortMapping& mapping) {
    const int first = text_to_int(mapping.listen_port);
    if (mapping.listen_port_type == "0") return {first};
    // A hand-edited file could name a range of billions; no port range is wider than 65536.
    const long long last =
        std::min<long long>(text_to_int(mapping.listen_port_end), first + 65535LL);
    std::vector<int> ports;
    for (long long p = first; p <= last; ++p)
        ports.push_back(static_cast<int>(p));
    return ports;
}

int destination_port_for(const PortMapping& mapping, int listen_port) {
    const int first = text_to_int(mapping.destination_port);
    if (mapping.destination_port_type == "0") return first;
    return first + (listen_port - text_to_int(mapping.listen_port));
}

namespace {
std::string port_text(std::string_view type, std::string_view first, std::string_view last) {
    std::string text(first);
    if (type == "1") text.append("-").append(last);
    return text;
}
}  // namespace

std::string listen_port_text(const PortMapping& mapping) {
    return port_text(mapping.listen_port_type, mapping.listen_port, mapping.listen_port_end);
}

std::string destination_port_text(const PortMapping& mapping) {
    return port_text(mapping.destination_port_type, mapping.destination_port,
                     mapping.destination_port_end);
}

std::string session_limit_text(const PortMapping& mapping) {
    return mapping.max_sessions.empty() ? std::string(kUnlimited) : mapping.max_sessions.str();
}

int find_mapping(const MappingTable& table, std::string_view name) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace zk
