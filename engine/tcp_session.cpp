// One TCP session: the session thread connects to the destination and relays client to
// destination; the return thread relays destination to client.
//
// Both sockets are non-blocking and every wait is on the sockets themselves. A relay thread
// blocked on a read is woken by shutdown() of that socket: by the other relay thread when its
// side ends, or by the teardown. So an idle session costs no wake-ups at all.

#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>

#include "engine/brellix_socket.h"
#include "engine/engine_state.h"
#include "engine/event_log.h"
#include "engine/routing.h"
#include "engine/socket_address.h"
#include "engine/traffic.h"

namespace zk {
namespace {

// With the protocol-debug log on, every chunk is one dump block of at most 10240 bytes. Without
// it the chunk size is invisible, and larger reads halve the per-byte cost of a busy stream.
constexpr std::size_t kDumpChunkSize = 10240;
constexpr std::size_t kChunkSize = 65536;

void close_both(SessionInfo& s) {
    socket_shutdown_field(s.destination_socket);
    socket_shutdown_field(s.client_socket);
}

// Connects the non-blocking `sock`, giving up early when the client socket hangs up (the
// client left, or the teardown shut it down).
bool connect_watching_client(int sock, const std::string& ip, int port, int client_fd) {
    sockaddr_in address{};
    if (!make_socket_address(ip.c_str(), port, address)) return false;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) return false;
    pollfd fds[2] = {{sock, POLLOUT, 0}, {client_fd, 0, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
        if (fds[0].revents != 0) break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// A fresh non-blocking destination socket connected to ip:port, or 0.
int connect_destination(const std::string& ip, int port, int client_fd) {
    const int sock =
        socket_keep_off_zero(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (sock <= 0) return 0;
    if (connect_watching_client(sock, ip, port, client_fd)) return sock;
    brellix_socket_close(sock);
    return 0;
}

bool has_letter(const std::string& text) {
    for (const unsigned char c : text) {
        if (std::isalpha(c)) return true;
    }
    return false;
}

// Connects to the working destination; when that fails, resolves the destination as the user
// entered it once more (its address may have changed) and tries again. Returns the socket or 0.
int connect_with_retry(const EngineState& state, ListenerCopy& copy, SessionInfo& s,
                       WorkingDestination& d) {
    const int port = text_to_int(d.port);
    if (const int sock = connect_destination(d.ip, port, s.client_fd)) return sock;
    if (has_letter(copy.destination_host)) {
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

void tcp_return_run(const std::shared_ptr<EngineState>& state,
                    const std::shared_ptr<ListenerCopy>& copy,
                    const std::shared_ptr<SessionInfo>& session,
                    const std::string& destination_ip) {
    SessionInfo& s = *session;
    const SessionThreadExit exit_mark(*copy, s);
    relay(*state, *copy, *s.destination_leg, *s.client_leg, destination_ip, s.client_address,
          [&](std::size_t n) {
              s.incoming_bytes.fetch_add(n, std::memory_order_relaxed);
              traffic_add_incoming(static_cast<double>(n));
          });
    socket_shutdown_field(s.destination_socket);
    // The session thread ends the client side as soon as its read wakes up.
    ::shutdown(s.client_fd, SHUT_RD);
}

}  // namespace

void tcp_session_run(const std::shared_ptr<EngineState>& state,
                     const std::shared_ptr<ListenerCopy>& copy,
                     const std::shared_ptr<SessionInfo>& session) {
    SessionInfo& s = *session;
    const SessionThreadExit exit_mark(*copy, s);
    s.client_leg = make_plain_leg(s.client_fd);

    WorkingDestination d = working_destination(*copy, s);
    if (d.ip.empty()) {  // smart routing with an empty list: nowhere to go
        socket_shutdown_field(s.client_socket);
        return;
    }
    const int sock = connect_with_retry(*state, *copy, s, d);
    if (sock == 0) {
        socket_shutdown_field(s.client_socket);
        return;
    }
    s.destination_fd = sock;
    s.destination_socket = sock;
    s.destination_leg = make_plain_leg(sock);

    s.live_threads.fetch_add(1);
    if (!state->spawn(
            [state, copy, session, ip = d.ip] { tcp_return_run(state, copy, session, ip); })) {
        s.live_threads.fetch_sub(1);
        close_both(s);
        return;
    }
    relay(*state, *copy, *s.client_leg, *s.destination_leg, s.client_address, d.ip,
          [&](std::size_t n) {
              s.outgoing_bytes.fetch_add(n, std::memory_order_relaxed);
              traffic_add_outgoing(static_cast<double>(n));
          });
    close_both(s);
}

}  // namespace zk
