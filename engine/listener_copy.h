#pragma once
// A started mapping is the set of its listener copies: one private copy of the PortMapping per
// listen port, each with its own listener thread and run-time state.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/port_mapping.h"
#include "engine/dump_block.h"
#include "engine/session_info.h"

namespace zk {

class SslContext;

// What the copies of one start share: the session count shown in the mapping's row and checked
// against max_sessions, the protocol-debug stream, and whether the start has said that its TLS
// tunnel accepts any peer.
struct MappingRun {
    explicit MappingRun(std::string mapping_name) : name(std::move(mapping_name)) {}
    const std::string name;
    std::atomic<int> session_count{0};
    std::shared_ptr<DumpStream> log_stream;  // null when logging is off or the file failed
    // Set by the first copy that says it; read and set with one exchange.
    std::atomic<bool> unauthenticated_noted{false};
};

struct ListenerCopy {
    ListenerCopy(PortMapping entry, int index, std::shared_ptr<MappingRun> shared_run);
    ~ListenerCopy();
    ListenerCopy(const ListenerCopy&) = delete;
    ListenerCopy& operator=(const ListenerCopy&) = delete;

    // The copy's configuration, ports rewritten for its listen port. After start only the
    // listener thread reads it, except destination_ip (see below).
    PortMapping mapping;
    const int table_index;
    const std::shared_ptr<MappingRun> run;
    int listen_port = 0;
    std::string destination_host;  // destination_ip as entered, before resolution
    std::string alert_path;
    // The listening socket while it is live; 0 once shut down. UDP session threads send their
    // replies on it, so the descriptor (listen_fd) is closed only when none of them can still
    // use the number: by the listener once they have all ended, else when the copy goes.
    std::atomic<int> listen_socket{0};
    int listen_fd = 0;                // listener thread only
    std::atomic<bool> ending{false};  // set when the teardown begins

    // Takes the listening socket out of use: a thread sending on it fails at once.
    void shut_listener();
    // Shuts the listening socket and closes its descriptor, freeing the port. Listener thread
    // only, once no other thread can use the descriptor.
    void close_listener();

    // Set by the listener thread at start-up, before its first session; only read after that.
    std::shared_ptr<SslContext> ssl_context;  // TLS modes: what every session's SSL object uses
    bool upstream_proxy_enabled = false;      // HTTP proxy: the system proxy setting was found
    std::string upstream_proxy_host;          // dotted address, or the name when it did not resolve
    std::string upstream_proxy_port;

    // Guards `sessions` against readers on other threads, and mapping.destination_ip, which a
    // session thread may replace after re-resolving destination_host.
    mutable std::mutex sessions_lock;
    std::vector<std::shared_ptr<SessionInfo>> sessions;

    std::uint64_t round_robin_counter = 0;  // listener thread only

    // Sessions ending write here so the listener reaps them at once instead of at its next
    // idle step.
    int wake_fd = -1;
    // Sessions ending while a wake-up is already pending add none: the listener reaps them all
    // in one pass.
    mutable std::atomic<bool> wake_pending{false};
    void wake_listener() const;
    void clear_wake() const;  // listener thread only

    std::string current_destination_ip() const;
    void replace_destination_ip(const std::string& address);
};

// Held by every session thread: on the way out it marks the thread's end for the reaper and
// wakes the listener.
class SessionThreadExit {
public:
    SessionThreadExit(const ListenerCopy& copy, SessionInfo& session)
        : copy_(copy), session_(session) {}
    ~SessionThreadExit() {
        session_.live_threads.fetch_sub(1);
        copy_.wake_listener();
    }
    SessionThreadExit(const SessionThreadExit&) = delete;
    SessionThreadExit& operator=(const SessionThreadExit&) = delete;

private:
    const ListenerCopy& copy_;
    SessionInfo& session_;
};

}  // namespace zk
