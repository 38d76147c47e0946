#pragma once
// How the engine reports to whoever shows the mappings (the app model). The engine calls these
// from its listener and relay threads; implementations must be thread-safe and must not call
// back into the engine's start or stop operations.

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
