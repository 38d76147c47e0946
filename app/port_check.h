#pragma once
// What the program itself knows about a port before the port tester's page is opened: whether
// a running mapping listens on it, and whether the gateway forwards it and where. Pure
// functions, callable from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/mapping_list.h"
#include "core/port_mapping.h"

namespace zk {

// One forwarding of the gateway's table, its texts as the gateway sent them.
struct GatewayForward {
    std::string protocol;
    std::string external_port;
    std::string internal_client;
    std::string internal_port;
};

// The lines for `port_text`: one per running mapping listening on the port (or one saying none
// does), then one per forwarding of that external port (or one saying there is none, or that
// the table is unknown when `forwards` is nothing). No lines when the text is not a port.
// `rows[i]` shows `mappings[i]`, as in a model snapshot.
std::vector<std::string> port_check_lines(
    const MappingTable& mappings, const std::vector<ListRow>& rows,
    const std::optional<std::vector<GatewayForward>>& forwards, std::string_view port_text);

}  // namespace zk
