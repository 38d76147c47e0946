// The TCP listener loop: accept, admit, start sessions, reap the ended ones.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "engine/brellix_socket.h"
#include "engine/descriptor_shortage.h"
#include "engine/engine_state.h"
#include "engine/event_log.h"
#include "engine/listener_common.h"
#include "engine/session_lines.h"
#include "engine/socket_address.h"
#include "platform/descriptor_reserve.h"

namespace zk {
namespace {

void admit(const std::shared_ptr<EngineState>& state, const std::shared_ptr<ListenerCopy>& copy,
           int sock, const sockaddr_in& peer) {
    sock = socket_keep_off_zero(sock);
    if (sock < 0) return;
    std::string address;
    int port = 0;
    read_socket_address(peer, address, port);
    if (!admit_client(*state, *copy, address, port, sock)) return;
    std::shared_ptr<SessionInfo> session;
    try {
        session = std::make_shared<SessionInfo>();
    } catch (...) {
        brellix_socket_close(sock);
        throw;
    }
    session->client_fd = sock;  // closed with the record from here on
    session->client_socket = sock;
    session->client_address = address;
    session->client_port = port;
    choose_session_destination(*copy, *session);
    start_session(*state, *copy, session,
                  [state, copy, session] { tcp_session_run(state, copy, session); });
}

// Every descriptor is in use, so the pending client cannot be taken: the spare one is given up
// for a moment to accept it and close it at once, so it hears the refusal instead of waiting.
void turn_away_pending(int listen_sock) {
    with_descriptor_reserve_released([listen_sock] {
        const int sock = ::accept4(listen_sock, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (sock >= 0) ::close(sock);
    });
}

}  // namespace

void tcp_listener_run(const std::shared_ptr<EngineState>& state,
                      const std::shared_ptr<ListenerCopy>& copy) {
    const int listen_sock = copy->listen_socket.load();
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int sock = ::accept4(listen_sock, reinterpret_cast<sockaddr*>(&peer), &length,
                                   SOCK_CLOEXEC | SOCK_NONBLOCK);
        const int error = errno;
        if (state->stop_requested(copy->run->name)) {
            if (sock >= 0) ::close(sock);
            break;
        }
        if (sock >= 0) {
            try {
                admit(state, copy, sock, peer);
            } catch (const std::exception& e) {
                // No memory for the session: this client is dropped, the listener goes on.
                log_event("port mapping[%s] dropped a client: %s.\n", copy->run->name.c_str(),
                          e.what());
            }
        } else if (const AcceptFailure failure = accept_failure(error);
                   failure == AcceptFailure::nothing_pending) {
            reap_sessions(*state, *copy);
            wait_for_work(*copy, listen_sock, state->timings.idle_step);
        } else if (failure == AcceptFailure::out_of_descriptors) {
            if (note_descriptor_shortage(error)) turn_away_pending(listen_sock);
            // Give ended sessions a moment to free descriptors.
            reap_sessions(*state, *copy);
            wait_for_work(*copy, 0, std::chrono::milliseconds(100));
        } else if (failure == AcceptFailure::broken) {
            break;  // the listening socket itself is broken
        }
    }
    copy->close_listener();  // no other thread uses a TCP listening socket
}

}  // namespace zk
