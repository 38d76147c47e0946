// The TCP listener loop: accept, admit, start sessions, reap the ended ones.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "engine/brellix_socket.h"
#include "engine/engine_state.h"
#include "engine/listener_common.h"
#include "engine/session_lines.h"
#include "engine/socket_address.h"

namespace zk {
namespace {

void admit(const std::shared_ptr<EngineState>& state, const std::shared_ptr<ListenerCopy>& copy,
           int sock, const sockaddr_in& peer) {
    sock = socket_keep_off_zero(sock);
    if (sock < 0) return;
    std::string address;
    int port = 0;
    read_socket_address(peer, address, port);
    if (!admit_client(*state, *copy, address, port)) {
        brellix_socket_close(sock);
        return;
    }
    auto session = std::make_shared<SessionInfo>();
    session->client_fd = sock;
    session->client_socket = sock;
    session->client_address = address;
    session->client_port = port;
    choose_session_destination(*copy, *session);
    start_session(*state, *copy, session,
                  [state, copy, session] { tcp_session_run(state, copy, session); });
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
            admit(state, copy, sock, peer);
        } else if (const AcceptFailure failure = accept_failure(error);
                   failure == AcceptFailure::nothing_pending) {
            reap_sessions(*state, *copy);
            wait_for_work(*copy, listen_sock, state->timings.idle_step);
        } else if (failure == AcceptFailure::out_of_descriptors) {
            // The connection stays queued; give ended sessions a moment to free descriptors.
            reap_sessions(*state, *copy);
            wait_for_work(*copy, 0, std::chrono::milliseconds(100));
        } else if (failure == AcceptFailure::broken) {
            break;  // the listening socket itself is broken
        }
    }
    if (const int sock = copy->listen_socket.exchange(0); sock > 0) brellix_socket_close(sock);
}

}  // namespace zk
