#pragma once
// The embedded web server: one listener thread on the web port, one thread per accepted
// connection, which reads one request, authenticates it, runs its action or serves a static
// file, sends at most one reply and closes the connection.
//
// Threading: start, stop and the destructor from one controlling thread; running, port and
// sessions from any thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "app/app_model.h"
#include "core/message_sink.h"
#include "web/connection_table.h"
#include "web/replies.h"
#include "web/web_actions.h"
#include "web/web_sessions.h"

namespace zk {

inline constexpr std::chrono::milliseconds kWebRequestDeadline = std::chrono::seconds(30);

struct WebServerOptions {
    std::string program_dir;      // ends with '/'; static files come from its image/ folder
    WebClock clock;               // the system clock when empty
    SessionIdSource session_ids;  // OpenSSL's random generator when empty
    std::int64_t read_wait_us = kWebWaitUs;  // the longest silence while a request arrives
    // The longest a whole request may take to arrive, however steadily its bytes come.
    std::chrono::milliseconds request_deadline = kWebRequestDeadline;
    std::size_t max_connections = kWebConnectionLimit;  // served at once
    std::int64_t send_wait_us = kWebWaitUs;             // the longest stall while a reply goes out
    WebCommandHooks hooks;
};

struct WebServerState;

class WebServer {
public:
    // `model` and `sink` must outlive the server.
    WebServer(AppModel& model, MessageSink& sink, WebServerOptions options);
    // Stops the listener, wakes the connections still being served and waits (bounded) for them.
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on the decimal port `port_text` ("0": a free port, for tests) on every local
    // address, empties the session table and starts the listener. On failure shows
    // "listen on port " + port_text + " error!" through the sink and returns false. With
    // protection on and an empty user name or password, says through the sink that no login
    // can succeed.
    bool start(std::string_view port_text);
    // Starts the listener on the model's `web_listen_port` when its `enable_web` is "1", as
    // start() does; false when it is off or listening failed.
    bool start_if_enabled();
    // Ends the listener at once. Connections being served finish on their own threads.
    void stop();

    bool running() const;
    int port() const;  // the bound port while running, else 0
    SessionTable& sessions();
    std::size_t connection_count() const;  // connections being served

private:
    std::shared_ptr<WebServerState> state_;
    std::thread listener_;
};

// Starts the web interface when the model's `enable_web` is "1", on its `web_listen_port`, with
// the credentials read from the model's settings per request. Nothing when it is off or
// listening failed (reported through the sink).
std::unique_ptr<WebServer> start_web_interface(AppModel& model, MessageSink& sink,
                                               WebServerOptions options);

}  // namespace zk
