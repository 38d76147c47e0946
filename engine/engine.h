#pragma once
// Starting and stopping mappings. A started mapping runs as one listener copy per listen port,
// each on its own thread; stopping posts a stop request that the copies of that mapping poll.
//
// Threading: every public function may be called from any thread. stop_mapping calls run one
// at a time (a second waits for the first); each returns after the stop hold. start_mapping
// reports its own failures to its caller and calls no EngineEvents on the caller's thread, so
// a caller may hold its lock around it; stop_mapping does call EngineEvents on the caller's
// thread, so a caller must not hold a lock that those take. Lock order: engine_events.h.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/port_mapping.h"
#include "engine/engine_events.h"
#include "engine/thread_start.h"
#include "platform/system_proxy.h"

namespace zk {

struct EngineTimings {
    std::chrono::milliseconds stop_hold{4000};         // stop_mapping holds its request this long
    std::chrono::milliseconds teardown_pause{3000};    // lets relays finish their current chunks
    std::chrono::milliseconds idle_step{1000};         // longest a listener waits between checks
    std::int64_t write_wait_us = 30'000'000;           // a write without progress this long ends it
    std::chrono::milliseconds udp_idle_limit{300000};  // a UDP session this long quiet ends
    std::int64_t handshake_wait_us = 30'000'000;       // a TLS handshake not done by then fails
};

// One live session as the monitor lists it.
struct SessionView {
    std::string mapping_name;
    std::string client_address;
    int client_port = 0;
    std::uint64_t incoming_bytes = 0;
    std::uint64_t outgoing_bytes = 0;
};

struct StartResult {
    int copies_started = 0;
    std::optional<std::string> error;  // the message to show when not every copy started
};

// Looks a host name up: 0 and the dotted address, or -1. resolve_host unless a test injects one.
using Resolver = std::function<int(const char* name, std::string& address)>;

struct EngineState;

class Engine {
public:
    // `program_dir` ends with '/'; `events` must outlive the engine.
    Engine(std::string program_dir, EngineEvents& events, EngineTimings timings = {},
           Resolver resolver = {}, ThreadStarter start_thread = {});
    // Stops every copy and waits (bounded) until every thread the engine started has ended.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void set_voice_notify(bool on);
    // HTTP-proxy mappings chain to the system's HTTP proxy (use_ie_setting "1"). Read by copies
    // at their start (whether to look the proxy up) and by their sessions.
    void set_use_system_proxy(bool on);
    // Where listener copies look the system proxy up (the process environment unless a test
    // injects its own); call before starting the mappings it is meant for.
    void set_environment(EnvironmentLookup environment);

    // Starts one listener copy per listen port of `entry`, the record at `table_index` of the
    // mapping table. A listen port that is no port (or a range with no port) starts nothing;
    // a copy without a thread is not started. Both come back here; later failures (resolving,
    // listening, SSL set-up) surface through EngineEvents::show_message from the copy's thread.
    StartResult start_mapping(const PortMapping& entry, int table_index);

    // Posts the stop request for the mapping's name, holds it, reports "stop" and 0 sessions
    // for the row, then withdraws it.
    void stop_mapping(const PortMapping& entry, int table_index);

    // True while a stop request names exactly `name`.
    bool stop_requested(std::string_view name) const;

    // Number of listener copies currently running (for tests and the monitor).
    int running_copies() const;
    std::vector<SessionView> sessions() const;

private:
    std::shared_ptr<EngineState> state_;
};

}  // namespace zk
