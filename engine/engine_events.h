#pragma once
// How the engine reports to whoever shows the mappings (the app model).
//
// Threads: on_mapping_status ("running"), on_mapping_stopped, show_message and play_alert come
// from listener threads; on_session_count from listener and session threads. stop_mapping also
// calls on_mapping_status ("stop") and on_session_count on the thread that called it. Never from
// the thread inside Engine::start_mapping: that reports its failures as its result.
//
// Lock order: the model's lock -> the engine's running_lock -> a listener copy's sessions_lock.
// The engine calls these holding none of its own locks; implementations must be thread-safe,
// may take the model's lock, and must not call back into the engine's start or stop operations.

#include <string_view>

namespace zk {

class EngineEvents {
public:
    virtual ~EngineEvents() = default;

    // The row of the mapping started at `table_index` (named `name`) is "running" or "stop".
    virtual void on_mapping_status(int table_index, std::string_view name,
                                   std::string_view status) = 0;
    // Every row with this name shows "stop" and 0 sessions.
    virtual void on_mapping_stopped(std::string_view name) = 0;
    // The live session count of the mapping changed.
    virtual void on_session_count(std::string_view name, int count) = 0;
    // A failure the user must see ("listen on port 80 error!" and the like).
    virtual void show_message(std::string_view text) = 0;
    // A peer was refused by the address lists and the alert is on: play the alert sound at
    // `path`, waiting until it ends, or skip it at once when it cannot play.
    virtual void play_alert(std::string_view path) = 0;
};

}  // namespace zk
