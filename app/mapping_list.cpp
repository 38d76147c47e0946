#include "app/mapping_list.h"

namespace zk {

ListRow list_row(const PortMapping& m, std::string_view status, int sessions) {
    return {m.name.str(),           m.type.str(),
            std::string(status),    std::to_string(sessions),
            session_limit_text(m),  listen_port_text(m),
            m.destination_ip.str(), destination_port_text(m),
            m.auto_start.str()};
}

}  // namespace zk
