// The UDP relay: one session per (sender address, sender port), each with its own socket
// connected to the destination. Replies go back to the client from the listening socket, so the
// client hears them from the port it sent to.

#include <sys/socket.h>

#include <cerrno>

#include "engine/brellix_socket.h"
#include "engine/engine_state.h"
#include "engine/listener_common.h"
#include "engine/routing.h"
#include "engine/session_lines.h"
#include "engine/traffic.h"

namespace zk {
namespace {

constexpr std::size_t kDatagramSize = 65535;

bool would_block() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

void udp_session_run(const std::shared_ptr<EngineState>& state,
                     const std::shared_ptr<ListenerCopy>& copy,
                     const std::shared_ptr<SessionInfo>& session) {
    SessionInfo& s = *session;
    const SessionThreadExit exit_mark(*copy, s);
    const std::string from = working_destination(*copy, s).ip;
    const auto step = state->timings.idle_step;
    std::vector<char> buffer(kDatagramSize);
    // Ends when the teardown takes the socket (its shutdown wakes the wait) or at the idle limit.
    while (s.destination_socket.load() != 0) {
        if (brellix_socket_wait(s.destination_fd, 1, step.count() * 1000) == kSocketTimeout) {
            // Only a whole quiet step counts towards the idle limit.
            if (s.idle_ms.fetch_add(step.count()) + step.count() >=
                state->timings.udp_idle_limit.count()) {
                break;
            }
            continue;
        }
        std::size_t n = buffer.size();
        std::string address;
        int port = 0;
        if (brellix_socket_udp_recv(s.destination_fd, buffer.data(), n, address, port) != 0) {
            if (would_block()) continue;
            break;  // the socket was shut down or failed
        }
        s.idle_ms = 0;
        s.incoming_bytes.fetch_add(n, std::memory_order_relaxed);
        traffic_add_incoming(static_cast<double>(n));
        const int sent = brellix_socket_udp_send_all(copy->listen_socket.load(), buffer.data(), n,
                                                     nullptr, state->timings.write_wait_us,
                                                     s.client_address.c_str(), s.client_port);
        if (sent == kSocketError) break;  // a reply that could not go out in time is lost
        if (copy->mapping.enable_log != "0") {
            write_dump_block(copy->run->log_stream.get(), from, s.client_address, buffer.data(), n);
        }
    }
    socket_shutdown_field(s.destination_socket);
}

std::shared_ptr<SessionInfo> find_session(ListenerCopy& copy, const std::string& address,
                                          int port) {
    for (const auto& s : copy.sessions) {  // only this thread changes the list
        if (s->live_threads.load() > 0 && s->client_port == port && s->client_address == address) {
            return s;
        }
    }
    return nullptr;
}

// Forwards a known client's datagram; a failure drops it (no second session for the client).
void forward(EngineState& state, SessionInfo& s, const char* data, std::size_t n) {
    s.idle_ms = 0;
    s.outgoing_bytes.fetch_add(n, std::memory_order_relaxed);
    traffic_add_outgoing(static_cast<double>(n));
    brellix_socket_udp_send_all(s.destination_fd, data, n, nullptr, state.timings.write_wait_us,
                                s.d_ip.c_str(), text_to_int(s.d_port));
}

void new_client(const std::shared_ptr<EngineState>& state,
                const std::shared_ptr<ListenerCopy>& copy, const std::string& address, int port,
                const char* data, std::size_t n) {
    if (!admit_client(*state, *copy, address, port)) return;
    auto session = std::make_shared<SessionInfo>();
    session->client_address = address;
    session->client_port = port;
    choose_session_destination(*copy, *session);
    if (!smart_route_on(copy->mapping)) {
        session->d_ip = copy->current_destination_ip();
        session->d_port = copy->mapping.destination_port.str();
    }
    int sock = 0;
    if (session->d_ip.empty() || brellix_socket_udp_create(sock) != kSocketDone) return;
    session->destination_fd = sock;  // closed with the record from here on
    if (brellix_socket_connect(sock, session->d_ip.c_str(), text_to_int(session->d_port)) != 0) {
        return;
    }
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    brellix_socket_set_block(sock, 0);
    if (brellix_socket_udp_send_all(sock, data, n, nullptr, state->timings.write_wait_us,
                                    session->d_ip.c_str(), text_to_int(session->d_port)) != 0) {
        return;
    }
    session->destination_socket = sock;
    session->outgoing_bytes = n;
    traffic_add_outgoing(static_cast<double>(n));
    start_session(*state, *copy, session,
                  [state, copy, session] { udp_session_run(state, copy, session); });
}

}  // namespace

void udp_listener_run(const std::shared_ptr<EngineState>& state,
                      const std::shared_ptr<ListenerCopy>& copy) {
    // The listening socket stays open until the teardown: session threads send replies on it.
    const int listen_sock = copy->listen_socket.load();
    std::vector<char> buffer(kDatagramSize);
    // Checked on every pass, so a mapping under steady traffic still stops.
    while (!state->stop_requested(copy->run->name)) {
        std::size_t n = buffer.size();
        std::string address;
        int port = 0;
        if (brellix_socket_udp_recv(listen_sock, buffer.data(), n, address, port) != 0) {
            if (would_block()) {
                reap_sessions(*state, *copy);
                wait_for_work(*copy, listen_sock, state->timings.idle_step);
            }
            continue;  // an empty datagram or a passing error: next pass
        }
        if (const auto s = find_session(*copy, address, port)) {
            forward(*state, *s, buffer.data(), n);
        } else {
            new_client(state, copy, address, port, buffer.data(), n);
        }
    }
}

}  // namespace zk
