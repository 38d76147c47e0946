#pragma once
// The event-log lines of a session's start, stop and failure, and the boundary of a session
// thread's body. Internal to the engine.

#include <exception>
#include <string_view>

#include "engine/listener_copy.h"

namespace zk {

// "port mapping[name],session of from [client:port] to [destination:port] has <what>.\n", with
// the session's own destination under smart routing, else the copy's.
void log_session_line(const ListenerCopy& copy, const SessionInfo& session, std::string_view what);

// Ends a session whose thread met an exception (no memory, most likely): its sockets are shut
// down, so the reaper removes it like any ended session, and one line says why.
void end_failed_session(const ListenerCopy& copy, SessionInfo& session, const char* reason);

// Runs a session thread's `body`. An exception must not leave a detached thread (it would end
// the process): it ends this session only, as an ordinary failure.
template <typename Body>
void run_session_body(const ListenerCopy& copy, SessionInfo& session, Body&& body) noexcept {
    try {
        body();
    } catch (const std::exception& e) {
        end_failed_session(copy, session, e.what());
    } catch (...) {
        end_failed_session(copy, session, "unknown error");
    }
}

}  // namespace zk
