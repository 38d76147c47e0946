// One TCP session: the session thread opens both sides (TLS server handshake, connect or HTTP
// proxy set-up, TLS client handshake). When both sides are plain it relays the two directions
// itself; with TLS on a side it relays client to destination and a return thread relays
// destination to client.
//
// Every wait is on the sockets themselves, and writes never wait longer than the write wait. A
// relay blocked on a read is woken by shutdown() of that socket: by the other relay thread when
// its side ends, or by the teardown. So an idle session costs no wake-ups at all.

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>

#include "core/host_name.h"
#include "engine/brellix_socket.h"
#include "engine/destination_connect.h"
#include "engine/engine_state.h"
#include "engine/event_log.h"
#include "engine/http_proxy.h"
#include "engine/plain_relay.h"
#include "engine/routing.h"
#include "engine/session_lines.h"
#include "engine/socket_address.h"
#include "engine/ssl_leg.h"
#include "engine/traffic.h"

namespace zk {
namespace {

// With the protocol-debug log on, every chunk is one dump block of at most 10240 bytes. Without
// it the chunk size is invisible, and larger reads halve the per-byte cost of a busy stream.
constexpr std::size_t kDumpChunkSize = 10240;
constexpr std::size_t kChunkSize = 65536;

// Lets a TLS peer tell the end of the stream from a cut connection.
void announce_close(const std::shared_ptr<StreamLeg>& leg) {
    if (leg) leg->close_notify();
}

void close_both(SessionInfo& s) {
    announce_close(s.destination_leg);
    announce_close(s.client_leg);
    socket_shutdown_field(s.destination_socket);
    socket_shutdown_field(s.client_socket);
}

// "address:port" of the other end of the connected socket `fd`.
std::string peer_address(int fd) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return "an unknown address";
    std::string address;
    int port = 0;
    read_socket_address(peer, address, port);
    return address + ":" + std::to_string(port);
}

// Runs the handshake of `leg`; false when it fails or runs out of time. A peer refused for its
// certificate gets one line naming it and the reason.
bool handshake_done(const EngineState& state, const ListenerCopy& copy, SslLeg& leg,
                    const std::string& peer, int watch_fd = 0) {
    if (leg.handshake(state.timings.handshake_wait_us, watch_fd) == kSocketDone) return true;
    if (!leg.refusal().empty()) {
        log_event("port mapping %s refused an SSL peer from %s: %s\n", copy.run->name.c_str(),
                  peer.c_str(), leg.refusal().c_str());
    }
    return false;
}

// The client side: plain, or TLS once the server handshake has completed. Null when the
// handshake fails or runs out of time; the destination has not been contacted then.
std::shared_ptr<StreamLeg> open_client_leg(const EngineState& state, const ListenerCopy& copy,
                                           const SessionInfo& s) {
    if (ssl_role(copy.mapping) != SslRole::server) return make_plain_leg(s.client_fd);
    auto leg = copy.ssl_context ? SslLeg::create(*copy.ssl_context, s.client_fd) : nullptr;
    const std::string peer = s.client_address + ":" + std::to_string(s.client_port);
    if (!leg || !handshake_done(state, copy, *leg, peer)) return nullptr;
    return leg;
}

// Makes the connected `sock` the session's destination, then opens its leg: plain, or TLS once
// the client handshake has completed. False when the handshake fails; the socket is recorded
// already, so closing both sockets closes it.
bool attach_destination(const EngineState& state, const ListenerCopy& copy, SessionInfo& s,
                        int sock) {
    s.destination_fd = sock;
    s.destination_socket = sock;
    if (ssl_role(copy.mapping) != SslRole::client) {
        s.destination_leg = make_plain_leg(sock);
        return true;
    }
    auto leg = copy.ssl_context ? SslLeg::create(*copy.ssl_context, sock) : nullptr;
    if (!leg || !handshake_done(state, copy, *leg, peer_address(sock), s.client_fd)) return false;
    s.destination_leg = std::move(leg);
    return true;
}

// Connects to the working destination; when that fails, resolves the destination as the user
// entered it once more (its address may have changed) and tries again. Returns the socket or 0.
int connect_with_retry(const EngineState& state, ListenerCopy& copy, SessionInfo& s,
                       WorkingDestination& d) {
    const int port = text_to_int(d.port);
    if (const int sock = connect_destination(d.ip, port, s.client_fd)) return sock;
    if (names_a_host(copy.destination_host, LetterAt::anywhere)) {
        std::string address;
        if (state.resolver(copy.destination_host.c_str(), address) != kSocketDone) {
            log_event("translate computer name or website address to ip address error!");
            return 0;
        }
        copy.replace_destination_ip(address);
        d.ip = address;
    }
    return connect_destination(d.ip, port, s.client_fd);
}

void dump(const ListenerCopy& copy, const std::string& from, const std::string& to,
          const char* data, std::size_t n) {
    if (copy.mapping.enable_log != "0") {
        write_dump_block(copy.run->log_stream.get(), from, to, data, n);
    }
}

// Copies `from` to `to` in chunks until either side fails, counting with `count`.
template <typename Count>
void relay(const EngineState& state, const ListenerCopy& copy, StreamLeg& from, StreamLeg& to,
           const std::string& from_address, const std::string& to_address, Count count) {
    char buffer[kChunkSize];
    const std::size_t chunk = copy.mapping.enable_log != "0" ? kDumpChunkSize : kChunkSize;
    for (;;) {
        std::size_t n = chunk;
        if (from.read(buffer, n, -1) != kSocketDone) return;
        count(n);
        // A write that fails, or stalls for the whole write wait, ends the session: a stream
        // with a hole in it is corrupt.
        if (to.write_all(buffer, n, state.timings.write_wait_us) != kSocketDone) return;
        dump(copy, from_address, to_address, buffer, n);
    }
}

// Byte counters of each direction, for the relay loops.
auto count_outgoing(SessionInfo& s) {
    return [&s](std::size_t n) {
        s.outgoing_bytes.fetch_add(n, std::memory_order_relaxed);
        traffic_add_outgoing(n);
    };
}

auto count_incoming(SessionInfo& s) {
    return [&s](std::size_t n) {
        s.incoming_bytes.fetch_add(n, std::memory_order_relaxed);
        traffic_add_incoming(n);
    };
}

// Both sides plain: one thread serves the two directions.
void relay_both_ways(const EngineState& state, const ListenerCopy& copy, SessionInfo& s,
                     const std::string& destination_ip) {
    const bool dumping = copy.mapping.enable_log != "0";
    PlainFlow up{s.client_fd, s.destination_fd, count_outgoing(s)};
    PlainFlow down{s.destination_fd, s.client_fd, count_incoming(s)};
    if (dumping) {
        up.dump = [&](const char* data, std::size_t n) {
            dump(copy, s.client_address, destination_ip, data, n);
        };
        down.dump = [&](const char* data, std::size_t n) {
            dump(copy, destination_ip, s.client_address, data, n);
        };
    }
    relay_plain(up, down, kDumpChunkSize, state.timings.write_wait_us);
}

void tcp_return_run(const std::shared_ptr<EngineState>& state,
                    const std::shared_ptr<ListenerCopy>& copy,
                    const std::shared_ptr<SessionInfo>& session,
                    const std::string& destination_ip) {
    SessionInfo& s = *session;
    const SessionThreadExit exit_mark(*copy, s);
    run_session_body(*copy, s, [&] {
        relay(*state, *copy, *s.destination_leg, *s.client_leg, destination_ip, s.client_address,
              count_incoming(s));
    });
    announce_close(s.destination_leg);
    socket_shutdown_field(s.destination_socket);
    // The session thread ends the client side as soon as its read wakes up; a TLS client hears
    // the end of the stream first.
    announce_close(s.client_leg);
    ::shutdown(s.client_fd, SHUT_RD);
}

// The session thread's work: set-up, then the relay of both directions (or of client to
// destination, beside the return thread).
void run_session(const std::shared_ptr<EngineState>& state,
                 const std::shared_ptr<ListenerCopy>& copy,
                 const std::shared_ptr<SessionInfo>& session) {
    SessionInfo& s = *session;
    const bool proxy = is_yes(copy->mapping.http_proxy);

    WorkingDestination d = working_destination(*copy, s);
    if (!proxy && d.ip.empty()) {  // smart routing with an empty list: nowhere to go
        socket_shutdown_field(s.client_socket);
        return;
    }
    s.client_leg = open_client_leg(*state, *copy, s);
    if (!s.client_leg) {
        socket_shutdown_field(s.client_socket);
        return;
    }
    if (proxy) {
        const auto attach = [&](int sock) { return attach_destination(*state, *copy, s, sock); };
        if (!http_proxy_setup(*state, *copy, s, attach, d.ip)) {
            close_both(s);
            return;
        }
    } else {
        const int sock = connect_with_retry(*state, *copy, s, d);
        if (sock == 0) {
            socket_shutdown_field(s.client_socket);
            return;
        }
        if (!attach_destination(*state, *copy, s, sock)) {
            close_both(s);
            return;
        }
    }

    if (!ssl_role(copy->mapping)) {
        relay_both_ways(*state, *copy, s, d.ip);
        close_both(s);
        return;
    }
    s.client_leg->start_relaying();
    s.destination_leg->start_relaying();
    // Made before the thread is counted: a failure to make it leaves no count behind.
    std::function<void()> return_body = [state, copy, session, ip = d.ip] {
        tcp_return_run(state, copy, session, ip);
    };
    s.live_threads.fetch_add(1);
    if (!state->spawn(std::move(return_body))) {
        s.live_threads.fetch_sub(1);
        close_both(s);
        return;
    }
    relay(*state, *copy, *s.client_leg, *s.destination_leg, s.client_address, d.ip,
          count_outgoing(s));
    close_both(s);
}

}  // namespace

void tcp_session_run(const std::shared_ptr<EngineState>& state,
                     const std::shared_ptr<ListenerCopy>& copy,
                     const std::shared_ptr<SessionInfo>& session) {
    const SessionThreadExit exit_mark(*copy, *session);
    run_session_body(*copy, *session, [&] { run_session(state, copy, session); });
}

}  // namespace zk
