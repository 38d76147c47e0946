#pragma once
// Small rules every relay applies the same way. Internal to the engine.

#include <string>

#include "core/port_mapping.h"
#include "engine/listener_copy.h"

namespace zk {

// Smart routing is on when enable_smart reads as 1 ("1" is all the editors store).
inline bool smart_route_on(const PortMapping& m) {
    return text_to_int(m.enable_smart) == 1;
}

// Where a session goes: its own smart-route destination, or the copy's destination.
struct WorkingDestination {
    std::string ip;
    std::string port;
};

inline WorkingDestination working_destination(const ListenerCopy& copy, const SessionInfo& s) {
    if (smart_route_on(copy.mapping)) return {s.d_ip, s.d_port};
    return {copy.current_destination_ip(), copy.mapping.destination_port.str()};
}

}  // namespace zk
