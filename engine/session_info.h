#pragma once
// One relayed client: a TCP connection or a UDP sender.
//
// Threading: the listener thread creates the record and alone adds it to or removes it from its
// copy's `sessions` (under the copy's sessions_lock). Socket fields are taken with one atomic
// exchange (socket_shutdown_field), so each socket is shut down exactly once by whichever thread
// gets there first; the descriptors themselves are closed only when the record is released, once
// no thread can still use their numbers. The byte counters have one writer each.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/stream_leg.h"

namespace zk {

struct SessionInfo {
    SessionInfo() = default;
    SessionInfo(const SessionInfo&) = delete;
    SessionInfo& operator=(const SessionInfo&) = delete;
    ~SessionInfo();

    // Live sockets; 0 once shut down. A TCP session whose client_socket is 0 has ended.
    std::atomic<int> client_socket{0};
    std::atomic<int> destination_socket{0};
    // The descriptors to close at release (0 when none), after the legs.
    int client_fd = 0;
    int destination_fd = 0;

    // TCP: how the relay threads read and write each side (plain or SSL). Set by the session
    // thread before it starts the return thread; released with the record.
    std::shared_ptr<StreamLeg> client_leg;
    std::shared_ptr<StreamLeg> destination_leg;

    std::string client_address;
    int client_port = 0;
    std::string d_ip;  // this session's destination when smart routing chose it
    std::string d_port;

    // Exact 64-bit counts (a 32-bit float would round them beyond 16 MiB).
    std::atomic<std::uint64_t> incoming_bytes{0};  // destination to client
    std::atomic<std::uint64_t> outgoing_bytes{0};  // client to destination

    // Threads of this session still running; the record is reaped only at 0. A UDP session
    // (whose client_socket is always 0) has ended exactly when its thread has.
    std::atomic<int> live_threads{0};

    std::atomic<std::int64_t> idle_ms{0};  // UDP: time without a datagram either way

    bool ended() const { return client_socket.load() == 0 && live_threads.load() == 0; }
};

}  // namespace zk
