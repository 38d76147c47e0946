#include "core/validation.h"

#include <algorithm>
#include <iterator>

#include "core/host_name.h"

namespace zk {
namespace {

// The value of one to `most_digits` decimal digits; nothing for any other text.
std::optional<int> decimal_value(std::string_view text, std::size_t most_digits) {
    if (text.empty() || text.size() > most_digits) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Four decimal numbers of 0 to 255, one to three digits each, joined by dots.
bool is_dotted_ipv4(std::string_view text) {
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        if ((part == 3) != (dot == std::string_view::npos)) return false;
        const auto number = decimal_value(text.substr(0, dot), 3);
        if (!number || *number > 255) return false;
        text.remove_prefix(part == 3 ? text.size() : dot + 1);
    }
    return true;
}

}  // namespace

bool has_control_character(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::optional<int> port_number(std::string_view text) {
    const auto value = decimal_value(text, 5);
    if (!value || *value < 1 || *value > 65535) return std::nullopt;
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

std::optional<std::string> validate_trigger(const PortTrigger& t, const TriggerTable& table,
                                            std::string_view editing,
                                            const AddressCheck& resolves) {
    if (t.name.empty() || has_control_character(t.name)) {
        return "invalid trigger name, please reenter again!";
    }
    if (t.name != editing && std::any_of(table.begin(), table.end(),
                                         [&](const PortTrigger& e) { return e.name == t.name; })) {
        return "port trigger name already exists, please reenter again!";
    }
    if (std::find(std::begin(kTriggerProtocols), std::end(kTriggerProtocols), t.protocol.view()) ==
        std::end(kTriggerProtocols)) {
        return "invalid trigger protocol, please choose TCP, UDP or both!";
    }
    const std::string_view address = t.trigger_address.view();
    const bool host = names_a_host(address, LetterAt::first);
    if (has_control_character(address) || (!host && !is_dotted_ipv4(address))) {
        return "invalid trigger address, please reenter again!";
    }
    const auto first = port_number(t.trigger_port);
    if (!first) return "invalid trigger port, please reenter again!";
    const auto last = port_number(t.trigger_port_end);
    if (!last) return "invalid end range of trigger port, please reenter again!";
    if (*last < *first) {
        return "the end range of trigger port must not be smaller than the start range of "
               "trigger port, please reenter again!";
    }
    if (*last - *first >= kMostTriggerPorts) {
        return "a port trigger spans at most " + std::to_string(kMostTriggerPorts) +
               " ports, please reenter again!";
    }
    // Nine digits fill the field and still fit an int.
    const auto period = decimal_value(t.frequence, 9);
    if (!period || *period < kShortestTriggerPeriodMs) {
        return "the trigger period must be at least " + std::to_string(kShortestTriggerPeriodMs) +
               " ms, please reenter again!";
    }
    if (host && resolves && !resolves(std::string(address))) {
        return "cannot resolve trigger address " + std::string(address) + ", please reenter again!";
    }
    return std::nullopt;
}

std::optional<std::string> complete_ip_range(IpRange& range) {
    if (range.start.empty()) return "invalid from ip address, please reenter again!";
    if (range.end.empty()) range.end = range.start.view();
    return std::nullopt;
}

}  // namespace zk
