#pragma once
// A complete mapping record as the editors store it, for tests to adjust.

#include <string>

#include "core/port_mapping.h"

namespace zk::test {

inline PortMapping relay_mapping(const char* type, const std::string& name, int listen_port,
                                 const char* destination_ip, int destination_port) {
    PortMapping m{};
    m.name = name;
    m.type = type;
    m.listen_port_type = "0";
    m.listen_port = std::to_string(listen_port);
    m.listen_port_end = "0";
    m.destination_ip = destination_ip;
    m.destination_port_type = "0";
    m.destination_port = std::to_string(destination_port);
    m.destination_port_end = "0";
    m.enable_log = "0";
    m.enable_ip_strategy = "0";
    m.auto_start = "N";
    m.http_proxy = "N";
    m.ssl_enable = "N";
    m.enable_smart = "0";
    m.smart_strategy = "0";
    return m;
}

}  // namespace zk::test
