#pragma once
// Admission of a new client (session limit, then block list, then allow list) and the choice of
// its destination by smart route. Pure functions of the mapping and the client; the listener
// writes the log lines and plays the alert.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

namespace zk {

enum class Admission { admitted, beyond_limit, blocked, not_in_white_list };

// A dotted address as a host-order number, the first number most significant. Text that is
// no address reads as 255.255.255.255, as the classic inet_addr does.
std::uint32_t ipv4_number(std::string_view dotted);

bool range_contains(std::string_view start, std::string_view end, std::uint32_t address);

// An empty max_sessions admits; otherwise `session_count` must be below its number.
Admission check_session_limit(const PortMapping& mapping, int session_count);

// With the IP strategy on: refused when in a block range, else admitted only when in an allow
// range. Admits everyone when the strategy is off.
Admission check_ip_strategy(const PortMapping& mapping, std::string_view client_address);

// The event-log line of a refusal (empty for `admitted`).
std::string rejection_line(Admission result, std::string_view client_address, int client_port,
                           std::string_view mapping_name);

struct Destination {
    std::string d_ip;
    std::string d_port;
};

// The smart-route destination of a client: round robin by `counter` when smart_strategy is not 0,
// else the first route whose range holds the client, defaulting to the first route. Nothing when
// the list of the chosen strategy is empty (the session then ends without connecting).
std::optional<Destination> choose_destination(const PortMapping& mapping,
                                              std::string_view client_address,
                                              std::uint64_t counter);

}  // namespace zk
