#pragma once
// What the TCP and UDP listener loops do alike. Internal to the engine; listener thread only.

#include <chrono>
#include <functional>
#include <string>

#include "engine/engine_state.h"

namespace zk {

// Waits up to `limit` for `sock` to become readable or a session to end (0: sessions only).
void wait_for_work(const ListenerCopy& copy, int sock, std::chrono::milliseconds limit);

// Shuts down the sockets of every listed session, which wakes their threads, and waits up to
// `limit` for those threads to end. True when they all have. The sessions stay listed.
bool end_session_threads(ListenerCopy& copy, std::chrono::milliseconds limit);

// Removes the ended sessions, lowering the count and logging "has stopped" for each.
void reap_sessions(EngineState& state, ListenerCopy& copy);

// Session limit, then address lists. A refusal is logged, `connection` (a refused TCP client;
// 0 for a datagram) is closed, and then, for the lists, the alert is played when it is on: the
// client learns of the refusal without waiting for the sound. The caller then drops the
// datagram.
bool admit_client(EngineState& state, ListenerCopy& copy, const std::string& address, int port,
                  int connection);

// Fills the session's smart-route destination (when smart routing is on) and counts the
// session for round robin.
void choose_session_destination(ListenerCopy& copy, SessionInfo& session);

// Adds the session to the copy's list (under sessions_lock), starts its thread on `body`, logs
// "has started" and counts it. A thread that cannot start leaves the session ended (its sockets
// shut down), so the next reaping removes it and evens out the count.
void start_session(EngineState& state, ListenerCopy& copy,
                   const std::shared_ptr<SessionInfo>& session, std::function<void()> body);

}  // namespace zk
