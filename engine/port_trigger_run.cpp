// Starting and stopping port triggers, and the bookkeeping their threads share.

#include <algorithm>

#include "core/port_mapping.h"
#include "engine/brellix_socket.h"
#include "engine/thread_start.h"
#include "engine/trigger_state.h"

namespace zk {
namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
// Threads see the shutdown at their next check; nothing they do blocks longer than this.
constexpr std::chrono::seconds kShutdownWait{10};

}  // namespace

bool TriggerState::pause(const TriggerRun& run, std::chrono::milliseconds pause) {
    if (pause.count() <= 0) return should_stop(run);
    const auto until = std::chrono::steady_clock::now() + pause;
    std::unique_lock guard(lock);
    return wake.wait_until(guard, until, [&] { return should_stop(run); });
}

void TriggerState::end_pause() {
    std::unique_lock guard(lock);
    wake.wait_for(guard, limits.end_pause, [&] { return shutting_down.load(); });
}

void TriggerState::thread_ended(const std::shared_ptr<TriggerRun>& run) {
    bool last_of_name = false;
    {
        std::lock_guard guard(lock);
        if (--run->threads == 0) std::erase(runs, run);
        last_of_name = std::none_of(runs.begin(), runs.end(),
                                    [&](const auto& other) { return other->name == run->name; });
    }
    {
        // Still counted in `threads`, so the runner's destructor waits for this report.
        std::lock_guard guard(report_lock);
        if (last_of_name && !reports_closed) report(run->name, kTriggerStopped);
    }
    std::lock_guard guard(lock);
    if (--threads == 0) ended.notify_all();
}

TriggerRunner::TriggerRunner(TriggerStatusReport report, TriggerLimits limits, Resolver resolver)
    : state_(std::make_shared<TriggerState>(std::move(report), limits,
                                            resolver ? std::move(resolver) : resolve_host)) {}

TriggerRunner::~TriggerRunner() {
    {
        std::unique_lock guard(state_->lock);
        state_->shutting_down = true;
        state_->wake.notify_all();
        state_->ended.wait_for(guard, kShutdownWait, [&] { return state_->threads == 0; });
    }
    std::lock_guard guard(state_->report_lock);
    state_->reports_closed = true;
}

void TriggerRunner::start_triggers(TriggerTable& table) {
    for (PortTrigger& entry : table) {
        if (is_yes(entry.auto_start)) start_trigger(entry);
    }
}

int TriggerRunner::start_trigger(PortTrigger& entry) {
    entry.status = kTriggerRunning;
    const int first = std::max(text_to_int(entry.trigger_port), kLowestPort);
    if (first > kHighestPort) return 0;
    const int last = std::min({text_to_int(entry.trigger_port_end), kHighestPort,
                               first + std::max(state_->limits.max_ports, 1) - 1});
    if (last < first) return 0;

    // Every thread is counted before the first starts, so a run never looks ended while its
    // later threads are still being made.
    const int planned = last - first + 1;
    auto run = std::make_shared<TriggerRun>(entry.name.str());
    {
        std::lock_guard guard(state_->lock);
        run->threads = planned;
        state_->threads += planned;
        state_->runs.push_back(run);
    }
    int started = 0;
    for (int port = first; port <= last; ++port) {
        PortTrigger copy = entry;
        copy.trigger_port = std::to_string(port);
        auto state = state_;
        if (!start_detached_thread([state, run, copy] { trigger_run(state, run, copy); })) break;
        ++started;
    }
    if (started < planned) {
        // Out of threads: the ports not started are given up, without a report.
        std::lock_guard guard(state_->lock);
        run->threads -= planned - started;
        state_->threads -= planned - started;
        if (run->threads == 0) std::erase(state_->runs, run);
        if (state_->threads == 0) state_->ended.notify_all();
    }
    return started;
}

bool TriggerRunner::stop_trigger(std::string_view name) {
    bool found = false;
    std::lock_guard guard(state_->lock);
    for (const auto& run : state_->runs) {
        if (run->name != name) continue;
        run->stop = true;
        found = true;
    }
    if (found) state_->wake.notify_all();
    return found;
}

int TriggerRunner::running_threads(std::string_view name) const {
    std::lock_guard guard(state_->lock);
    int count = 0;
    for (const auto& run : state_->runs) {
        if (run->name == name) count += run->threads;
    }
    return count;
}

int TriggerRunner::running_threads() const {
    // Counted per run: a thread leaves its run before it reports, so a name shown as "stop"
    // never counts here any more.
    std::lock_guard guard(state_->lock);
    int count = 0;
    for (const auto& run : state_->runs)
        count += run->threads;
    return count;
}

}  // namespace zk
