// The web listener: accepts connections and hands each to a thread of its own. It waits on its
// socket (up to a second) rather than sleeping, so a browser is answered at once, and drops the
// expired sessions once a second.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "engine/brellix_socket.h"
#include "engine/thread_start.h"
#include "web/web_server_state.h"

namespace zk {
namespace {

using Steady = std::chrono::steady_clock;
constexpr auto kIdleWait = std::chrono::milliseconds(1000);
constexpr auto kSweepEvery = std::chrono::seconds(1);

// Waits until the listening socket is readable, the server is woken for its stop, or `limit`.
void wait_for_work(const WebServerState& state, int listen_sock, std::chrono::milliseconds limit) {
    pollfd fds[2] = {{state.wake_fd, POLLIN, 0}, {listen_sock, POLLIN, 0}};
    ::poll(fds, listen_sock > 0 ? 2 : 1, static_cast<int>(limit.count()));
}

void hand_over(const std::shared_ptr<WebServerState>& state, int sock) {
    sock = socket_keep_off_zero(sock);
    if (sock < 0) return;
    if (!state->connections.admit(sock)) {
        brellix_socket_close(sock);  // over the limit: closed at once, unanswered
        return;
    }
    const bool started = start_detached_thread([state, sock] {
        serve_web_connection(*state, sock);
        state->connections.finish(sock);
    });
    if (!started) state->connections.finish(sock);
}

}  // namespace

void web_listen_loop(const std::shared_ptr<WebServerState>& state) {
    const int listen_sock = state->listen_sock.load();
    auto next_sweep = Steady::now() + kSweepEvery;
    for (;;) {
        const int sock = ::accept4(listen_sock, nullptr, nullptr, SOCK_CLOEXEC);
        const int error = errno;
        if (!state->running.load()) {
            if (sock >= 0) ::close(sock);
            break;
        }
        if (Steady::now() >= next_sweep) {
            state->sessions.sweep();
            next_sweep = Steady::now() + kSweepEvery;
        }
        if (sock >= 0) {
            hand_over(state, sock);
        } else if (const AcceptFailure failure = accept_failure(error);
                   failure == AcceptFailure::nothing_pending) {
            wait_for_work(*state, listen_sock, kIdleWait);
        } else if (failure == AcceptFailure::out_of_descriptors) {
            // The connection stays queued; give finished connections a moment to free theirs.
            wait_for_work(*state, 0, std::chrono::milliseconds(100));
        } else if (failure == AcceptFailure::broken) {
            break;  // the listening socket itself is broken
        }
    }
    state->running = false;
    if (const int sock = state->listen_sock.exchange(0); sock > 0) brellix_socket_close(sock);
}

}  // namespace zk
