#pragma once
// Port triggers: one thread per trigger port that keeps a TCP connection open to the trigger
// address and port and/or sends it an empty datagram, pausing `frequence` milliseconds between
// passes, until a stop request names the trigger or the runner is destroyed.
//
// Threading: every public function may be called from any thread. The trigger threads never
// touch a TriggerTable: they report through TriggerStatusReport, which the owner applies under
// its own lock. The report is only ever called from trigger threads, never from inside a call
// to this class, so an owner may call in here while holding the lock its report takes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "core/port_trigger.h"
#include "engine/engine.h"

namespace zk {

inline constexpr std::string_view kTriggerRunning = "running";
inline constexpr std::string_view kTriggerStopped = "stop";

struct TriggerLimits {
    std::chrono::milliseconds end_pause{3000};  // between leaving the pass loop and the stop line
    std::int64_t write_wait_us = 30'000'000;    // write wait of the zero-length sends
    // Threads one entry starts at most (the first ports of its range): a hand-edited range of
    // millions of ports must not start a thread and a socket for each.
    int max_ports = 1024;
};

// Every TriggerTable entry named `name` now shows `status`.
using TriggerStatusReport = std::function<void(std::string_view name, std::string_view status)>;

struct TriggerState;

class TriggerRunner {
public:
    // `report` must stay callable until the destructor has returned. `resolver` looks up
    // trigger addresses that start with a letter (resolve_host unless a test injects one).
    explicit TriggerRunner(TriggerStatusReport report, TriggerLimits limits = {},
                           Resolver resolver = {});
    // Stops every trigger and waits (bounded) for the threads; they skip the end pause. Once it
    // has returned, no report is made any more.
    ~TriggerRunner();
    TriggerRunner(const TriggerRunner&) = delete;
    TriggerRunner& operator=(const TriggerRunner&) = delete;

    // start_trigger for every entry whose auto_start is "Y", in table order. The caller holds
    // whatever lock guards `table`.
    void start_triggers(TriggerTable& table);

    // Sets the entry's status to "running" and starts one thread per port from trigger_port to
    // trigger_port_end (none when the end is below the start), skipping numbers that are no
    // port (outside 1 to 65535) and stopping at max_ports threads. Returns the threads started.
    int start_trigger(PortTrigger& entry);

    // Posts the stop request for every running thread named `name`: each leaves its loop at
    // once, pauses, writes its stop line, and the last one reports "stop". Requests for
    // different names never replace each other. False when no thread of that name runs: then
    // no report follows, and the caller shows the entry as stopped itself.
    bool stop_trigger(std::string_view name);

    // Live trigger threads, of one name or of all.
    int running_threads(std::string_view name) const;
    int running_threads() const;

private:
    std::shared_ptr<TriggerState> state_;
};

}  // namespace zk
