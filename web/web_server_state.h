#pragma once
// What the listener and the connection threads of one web server share. Connection threads hold
// it by shared pointer, so it outlives the server object while they finish.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

#include "web/web_server.h"

namespace zk {

struct WebServerState {
    WebServerState(AppModel& m, MessageSink& s, WebServerOptions o)
        : model(m),
          sink(s),
          options(std::move(o)),
          sessions(options.clock ? options.clock : WebClock(system_seconds),
                   options.session_ids ? options.session_ids : SessionIdSource(random_session_id)) {
    }

    AppModel& model;
    MessageSink& sink;
    const WebServerOptions options;
    SessionTable sessions;

    std::atomic<bool> running{false};
    std::atomic<int> listen_sock{0};
    int wake_fd = -1;  // eventfd: wakes the listener's wait at stop

    std::mutex connections_lock;  // guards connections
    std::condition_variable connections_done;
    std::set<int> connections;  // sockets being served; each closed by its own thread
};

// Serves one accepted connection: read, parse, authenticate, act. Does not close `sock`.
void serve_web_connection(WebServerState& state, int sock);

// The listener loop; closes the listening socket when it ends.
void web_listen_loop(const std::shared_ptr<WebServerState>& state);

}  // namespace zk
