#include "engine/session_lines.h"

#include "engine/brellix_socket.h"
#include "engine/event_log.h"
#include "engine/routing.h"

namespace zk {

void log_session_line(const ListenerCopy& copy, const SessionInfo& session, std::string_view what) {
    const WorkingDestination d = working_destination(copy, session);
    log_event("port mapping[%s],session of from [%s:%d] to [%s:%s] has %.*s.\n",
              copy.run->name.c_str(), session.client_address.c_str(), session.client_port,
              d.ip.c_str(), d.port.c_str(), static_cast<int>(what.size()), what.data());
}

void end_failed_session(const ListenerCopy& copy, SessionInfo& session, const char* reason) {
    socket_shutdown_field(session.client_socket);
    socket_shutdown_field(session.destination_socket);
    log_event("port mapping[%s],session of from [%s:%d] failed: %s.\n", copy.run->name.c_str(),
              session.client_address.c_str(), session.client_port, reason);
}

}  // namespace zk
