#pragma once
// What the trigger runner and its threads share. Every thread holds the state, so a thread that
// outlives the runner's bounded wait never touches freed memory. Internal to the engine.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/port_trigger_run.h"

namespace zk {

// One start of one trigger entry: the threads of its ports and their stop request.
struct TriggerRun {
    explicit TriggerRun(std::string trigger_name) : name(std::move(trigger_name)) {}
    const std::string name;
    std::atomic<bool> stop{false};  // set under TriggerState::lock, read anywhere
    int threads = 0;                // guarded by TriggerState::lock
};

struct TriggerState {
    TriggerState(TriggerStatusReport r, TriggerLimits l, Resolver res)
        : report(std::move(r)), limits(l), resolver(std::move(res)) {}

    const TriggerStatusReport report;
    const TriggerLimits limits;
    const Resolver resolver;

    // Guards `runs`, `threads` and every TriggerRun::threads; `wake` and `ended` wait on it.
    mutable std::mutex lock;
    std::condition_variable wake;                   // a stop request or the shutdown
    std::condition_variable ended;                  // `threads` reached 0
    std::vector<std::shared_ptr<TriggerRun>> runs;  // runs with at least one thread counted
    int threads = 0;
    std::atomic<bool> shutting_down{false};  // set under `lock`

    // Held while a report runs; closed by the runner's destructor so none follows it.
    std::mutex report_lock;
    bool reports_closed = false;  // guarded by report_lock

    bool should_stop(const TriggerRun& run) const { return run.stop || shutting_down; }

    // Waits `pause` unless the run is told to stop first. True when it should stop.
    bool pause(const TriggerRun& run, std::chrono::milliseconds pause);
    // The pause before the stop line; cut short only by the shutdown.
    void end_pause();
    // Counts a thread of `run` out; the last live thread of the run's name reports "stop".
    void thread_ended(const std::shared_ptr<TriggerRun>& run);
};

// Body of one trigger thread; `copy` is the entry with trigger_port set to the thread's port.
void trigger_run(const std::shared_ptr<TriggerState>& state, const std::shared_ptr<TriggerRun>& run,
                 const PortTrigger& copy);

}  // namespace zk
