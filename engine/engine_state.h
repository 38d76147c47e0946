#pragma once
// The engine's shared state, held by the Engine and by every thread it starts, so a thread
// never outlives what it uses. Internal to the engine.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/listener_copy.h"

namespace zk {

struct EngineState : std::enable_shared_from_this<EngineState> {
    EngineState(std::string dir, EngineEvents& sink, EngineTimings t, Resolver r,
                ThreadStarter starter)
        : program_dir(std::move(dir)),
          events(sink),
          timings(t),
          resolver(std::move(r)),
          start_thread(std::move(starter)) {}

    const std::string program_dir;
    EngineEvents& events;
    const EngineTimings timings;
    const Resolver resolver;
    const ThreadStarter start_thread;
    std::atomic<bool> voice_notify{false};
    std::atomic<bool> shutting_down{false};  // every copy sees a stop request

    // HTTP-proxy mappings chain to the system proxy (use_ie_setting "1"), whose setting is
    // looked up here.
    std::atomic<bool> use_system_proxy{false};
    std::mutex environment_lock;
    EnvironmentLookup environment = process_environment;  // guarded by environment_lock

    // Guards the running list and the stop request.
    mutable std::mutex running_lock;
    std::vector<std::shared_ptr<ListenerCopy>> running;
    std::string stop_name;
    bool stop_posted = false;

    std::mutex stop_serial;  // one stop operation at a time

    bool stop_requested(std::string_view name) const;

    // Starts `body` on a detached thread counted in `threads`; false when it cannot start.
    bool spawn(std::function<void()> body);
    // Waits until every spawned thread has ended or `limit` passed.
    bool wait_for_threads(std::chrono::milliseconds limit);

private:
    void thread_ended();

    // Counted without a lock (every session starts and ends one); the lock only pairs the last
    // end with a waiter.
    std::atomic<int> threads{0};
    std::mutex threads_lock;
    std::condition_variable threads_done;
};

// Body of a listener thread: start-up, the TCP or UDP loop, then the teardown.
void mapping_listener_main(const std::shared_ptr<EngineState>& state,
                           const std::shared_ptr<ListenerCopy>& copy);

void tcp_listener_run(const std::shared_ptr<EngineState>& state,
                      const std::shared_ptr<ListenerCopy>& copy);
void udp_listener_run(const std::shared_ptr<EngineState>& state,
                      const std::shared_ptr<ListenerCopy>& copy);
void tcp_session_run(const std::shared_ptr<EngineState>& state,
                     const std::shared_ptr<ListenerCopy>& copy,
                     const std::shared_ptr<SessionInfo>& session);

// Changes the run's session count by `delta`, never below 0, and reports the new value.
void session_count_add(EngineState& state, MappingRun& run, int delta);

}  // namespace zk
