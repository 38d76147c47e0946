#pragma once
// The event-log lines of a session's start and stop. Internal to the engine.

#include <string_view>

#include "engine/listener_copy.h"

namespace zk {

// "port mapping[name],session of from [client:port] to [destination:port] has <what>.\n", with
// the session's own destination under smart routing, else the copy's.
void log_session_line(const ListenerCopy& copy, const SessionInfo& session, std::string_view what);

}  // namespace zk
