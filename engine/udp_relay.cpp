// The UDP relay: one session per (sender address, sender port), each with its own socket
// connected to the destination. Replies go back to the client from the listening socket, so the
// client hears them from the port it sent to.

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <unordered_map>

#include "engine/brellix_socket.h"
#include "engine/datagram_batch.h"
#include "engine/engine_state.h"
#include "engine/event_log.h"
#include "engine/listener_common.h"
#include "engine/routing.h"
#include "engine/session_lines.h"
#include "engine/socket_address.h"
#include "engine/traffic.h"

namespace zk {
namespace {

constexpr std::size_t kDatagramSize = DatagramBatch::kDatagramSize;

bool would_block() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

// Replies from the destination go to the client until the session ends.
void relay_replies(const std::shared_ptr<EngineState>& state,
                   const std::shared_ptr<ListenerCopy>& copy, SessionInfo& s) {
    const std::string from = working_destination(*copy, s).ip;
    sockaddr_in client{};
    make_socket_address(s.client_address.c_str(), s.client_port, client);
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
        // Connected: only the destination's own address and port are heard.
        const ssize_t got = ::recv(s.destination_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got < 0 && (would_block() || errno == EINTR)) continue;
        if (got < 0 || s.destination_socket.load() == 0) break;  // shut down or failed
        if (got == 0) continue;  // an empty datagram is never relayed
        const auto n = static_cast<std::size_t>(got);
        s.idle_ms = 0;
        s.incoming_bytes.fetch_add(n, std::memory_order_relaxed);
        traffic_add_incoming(n);
        // A reply that could not go out in time is lost; a failed socket ends the session.
        // The listener's descriptor stays open while this thread runs; 0 once it is shut down.
        const int listen_sock = copy->listen_socket.load();
        std::size_t length = n;
        if (listen_sock == 0 ||
            brellix_socket_udp_send_to(listen_sock, buffer.data(), length,
                                       state->timings.write_wait_us, client) == kSocketError) {
            break;
        }
        if (copy->mapping.enable_log != "0") {
            write_dump_block(copy->run->log_stream.get(), from, s.client_address, buffer.data(), n);
        }
    }
}

void udp_session_run(const std::shared_ptr<EngineState>& state,
                     const std::shared_ptr<ListenerCopy>& copy,
                     const std::shared_ptr<SessionInfo>& session) {
    const SessionThreadExit exit_mark(*copy, *session);
    run_session_body(*copy, *session, [&] { relay_replies(state, copy, *session); });
    socket_shutdown_field(session->destination_socket);
}

std::uint64_t client_key(const sockaddr_in& sender) {
    return (std::uint64_t{sender.sin_addr.s_addr} << 16) | sender.sin_port;
}

std::shared_ptr<SessionInfo> new_client(const std::shared_ptr<EngineState>& state,
                                        const std::shared_ptr<ListenerCopy>& copy,
                                        const sockaddr_in& sender, const char* data,
                                        std::size_t n) {
    std::string address;
    int port = 0;
    read_socket_address(sender, address, port);
    if (!admit_client(*state, *copy, address, port, 0)) return nullptr;
    auto session = std::make_shared<SessionInfo>();
    session->client_address = address;
    session->client_port = port;
    choose_session_destination(*copy, *session);
    if (!smart_route_on(copy->mapping)) {
        session->d_ip = copy->current_destination_ip();
        session->d_port = copy->mapping.destination_port.str();
    }
    int sock = 0;
    if (session->d_ip.empty() || brellix_socket_udp_create(sock) != kSocketDone) return nullptr;
    session->destination_fd = sock;  // closed with the record from here on
    if (brellix_socket_connect(sock, session->d_ip.c_str(), text_to_int(session->d_port)) != 0) {
        return nullptr;
    }
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    brellix_socket_set_block(sock, 0);
    if (brellix_socket_udp_send_all(sock, data, n, nullptr, state->timings.write_wait_us,
                                    session->d_ip.c_str(), text_to_int(session->d_port)) != 0) {
        return nullptr;
    }
    session->destination_socket = sock;
    session->outgoing_bytes = n;
    traffic_add_outgoing(n);
    start_session(*state, *copy, session,
                  [state, copy, session] { udp_session_run(state, copy, session); });
    return session;
}

// The listener's clients by sender address and port. Holds only sessions still in the copy's
// list: forget_ended() runs right after each reaping.
class UdpClients {
public:
    SessionInfo* find(std::uint64_t key) const {
        const auto it = sessions_.find(key);
        return it != sessions_.end() && it->second->live_threads.load() > 0 ? it->second.get()
                                                                            : nullptr;
    }
    void add(std::uint64_t key, std::shared_ptr<SessionInfo> session) {
        sessions_[key] = std::move(session);
    }
    void forget_ended() {
        std::erase_if(sessions_, [](const auto& entry) { return entry.second->ended(); });
    }

private:
    std::unordered_map<std::uint64_t, std::shared_ptr<SessionInfo>> sessions_;
};

// Relays one batch. A new client's first datagram opens its session; the datagrams of known
// clients go out per session, in their order, in one call each.
void relay_batch(const std::shared_ptr<EngineState>& state,
                 const std::shared_ptr<ListenerCopy>& copy, const DatagramBatch& batch,
                 unsigned count, UdpClients& clients) {
    SessionInfo* owner[DatagramBatch::kCapacity] = {};
    for (unsigned i = 0; i < count; ++i) {
        if (batch.size(i) == 0) continue;  // an empty datagram is never forwarded
        const std::uint64_t key = client_key(batch.sender(i));
        owner[i] = clients.find(key);
        if (owner[i] != nullptr) continue;
        try {
            if (auto s = new_client(state, copy, batch.sender(i), batch.data(i), batch.size(i))) {
                clients.add(key, std::move(s));
            }
        } catch (const std::exception& e) {
            // No memory for the session: its datagram is dropped like any that fails.
            log_event("port mapping[%s] dropped a datagram: %s.\n", copy->run->name.c_str(),
                      e.what());
        }
    }
    mmsghdr run[DatagramBatch::kCapacity];
    iovec vectors[DatagramBatch::kCapacity];
    for (unsigned i = 0; i < count; ++i) {
        SessionInfo* s = owner[i];
        if (s == nullptr) continue;
        unsigned length = 0;
        std::size_t bytes = 0;
        for (unsigned j = i; j < count; ++j) {
            if (owner[j] != s) continue;
            owner[j] = nullptr;
            vectors[length] = {const_cast<char*>(batch.data(j)), batch.size(j)};
            run[length] = {};
            run[length].msg_hdr.msg_iov = &vectors[length];
            run[length].msg_hdr.msg_iovlen = 1;
            bytes += batch.size(j);
            ++length;
        }
        // A known client's datagram that cannot be forwarded is dropped: never a second session.
        s->idle_ms = 0;
        s->outgoing_bytes.fetch_add(bytes, std::memory_order_relaxed);
        traffic_add_outgoing(bytes);
        send_datagrams(s->destination_fd, run, length, state->timings.write_wait_us);
    }
}

// At a stop: no reply can reach a client once the listening socket is shut, so the sessions end
// now, and the port is free as soon as their threads have let go of its descriptor.
void release_listen_port(ListenerCopy& copy, std::chrono::milliseconds limit) {
    copy.ending = true;
    copy.shut_listener();
    if (end_session_threads(copy, limit)) copy.close_listener();
}

}  // namespace

void udp_listener_run(const std::shared_ptr<EngineState>& state,
                      const std::shared_ptr<ListenerCopy>& copy) {
    // Session threads send replies on the listening socket: it stays open while they run.
    const int listen_sock = copy->listen_socket.load();
    DatagramBatch batch;
    UdpClients clients;
    // Checked on every pass, so a mapping under steady traffic still stops.
    while (!state->stop_requested(copy->run->name)) {
        const int count = batch.receive(listen_sock);
        if (count > 0) {
            relay_batch(state, copy, batch, static_cast<unsigned>(count), clients);
        } else if (count == 0) {
            reap_sessions(*state, *copy);
            clients.forget_ended();
            wait_for_work(*copy, listen_sock, state->timings.idle_step);
        }
        // A passing error: next pass.
    }
    release_listen_port(*copy, std::chrono::seconds(2));
}

}  // namespace zk
