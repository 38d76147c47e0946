#include "app/port_check.h"

#include <algorithm>

#include "core/validation.h"

namespace zk {
namespace {

void add_listener_lines(const MappingTable& mappings, const std::vector<ListRow>& rows, int port,
                        const std::string& port_name, std::vector<std::string>& lines) {
    const std::size_t before = lines.size();
    for (std::size_t i = 0; i < mappings.size() && i < rows.size(); ++i) {
        if (cell(rows[i], ListColumn::status) != kStatusRunning) continue;
        const std::vector<int> ports = listen_ports(mappings[i]);
        if (std::ranges::find(ports, port) == ports.end()) continue;
        lines.push_back("Zelkora listens on port " + port_name + " (mapping \"" +
                        mappings[i].name.str() + "\").");
    }
    if (lines.size() == before) {
        lines.push_back("No running mapping listens on port " + port_name +
                        ": the tester will find it closed.");
    }
}

void add_gateway_lines(const std::optional<std::vector<GatewayForward>>& forwards, int port,
                       const std::string& port_name, std::vector<std::string>& lines) {
    if (!forwards) {
        lines.emplace_back("The router's table is unknown.");
        return;
    }
    const std::size_t before = lines.size();
    for (const GatewayForward& forward : *forwards) {
        if (port_number(forward.external_port) != port) continue;
        lines.push_back("The router forwards " + forward.protocol + " " + port_name + " to " +
                        forward.internal_client + ":" + forward.internal_port + ".");
    }
    if (lines.size() == before) {
        lines.push_back("The router has no forwarding for port " + port_name + ".");
    }
}

}  // namespace

std::vector<std::string> port_check_lines(
    const MappingTable& mappings, const std::vector<ListRow>& rows,
    const std::optional<std::vector<GatewayForward>>& forwards, std::string_view port_text) {
    const std::optional<int> port = port_number(port_text);
    if (!port) return {};
    const std::string port_name = std::to_string(*port);
    std::vector<std::string> lines;
    add_listener_lines(mappings, rows, *port, port_name, lines);
    add_gateway_lines(forwards, *port, port_name, lines);
    return lines;
}

}  // namespace zk
