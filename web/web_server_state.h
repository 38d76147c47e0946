#pragma once
// What the listener and the connection threads of one web server share. Connection threads hold
// it by shared pointer, so it outlives the server object while they finish.

#include <atomic>
#include <cstdlib>

#include "web/connection_table.h"
#include "web/host_check.h"
#include "web/login_throttle.h"
#include "web/web_server.h"

namespace zk {

struct WebServerState {
    WebServerState(AppModel& m, MessageSink& s, WebServerOptions o)
        : model(m),
          sink(s),
          options(std::move(o)),
          sessions(clock(),
                   options.session_ids ? options.session_ids : SessionIdSource(random_session_id)),
          throttle(clock()),
          connections(options.max_connections),
          hosts(served_host_names(host_names_from_environment())) {}

    WebClock clock() const { return options.clock ? options.clock : WebClock(system_seconds); }
    static std::string_view host_names_from_environment() {
        const char* names = std::getenv(kWebHostsVariable);
        return names == nullptr ? std::string_view() : names;
    }

    AppModel& model;
    MessageSink& sink;
    const WebServerOptions options;
    SessionTable sessions;
    LoginThrottle throttle;
    ConnectionTable connections;
    const HostAllowList hosts;  // read once, when the server is made

    std::atomic<bool> running{false};
    std::atomic<int> listen_sock{0};
    int wake_fd = -1;  // eventfd: wakes the listener's wait at stop
};

// Serves one accepted connection: read, parse, authenticate, act. Does not close `sock`.
void serve_web_connection(WebServerState& state, int sock);

// The listener loop; closes the listening socket when it ends.
void web_listen_loop(const std::shared_ptr<WebServerState>& state);

}  // namespace zk
