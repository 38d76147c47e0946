#include "web/web_server.h"

#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "core/validation.h"
#include "engine/brellix_socket.h"
#include "web/web_server_state.h"

namespace zk {
namespace {

constexpr auto kConnectionsEndLimit = std::chrono::milliseconds(15000);

// A port number written in decimal digits only, 0 (a free port) to 65535.
std::optional<int> listen_port_number(std::string_view text) {
    return text == "0" ? std::optional<int>(0) : port_number(text);
}

}  // namespace

WebServer::WebServer(AppModel& model, MessageSink& sink, WebServerOptions options)
    : state_(std::make_shared<WebServerState>(model, sink, std::move(options))) {
    state_->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

WebServer::~WebServer() {
    stop();
    state_->connections.shut_down_all(kConnectionsEndLimit);
    if (state_->wake_fd >= 0) ::close(state_->wake_fd);
}

bool WebServer::start(std::string_view port_text) {
    if (running()) return true;
    if (listener_.joinable()) listener_.join();  // a listener that ended on a broken socket
    const auto port = listen_port_number(port_text);
    int sock = 0;
    if (!port || state_->wake_fd < 0 ||
        brellix_socket_tcp_listen(sock, *port, 100) != kSocketDone ||
        brellix_socket_set_block(sock, 0) != kSocketDone) {
        if (sock > 0) brellix_socket_close(sock);
        state_->sink.show_message("listen on port " + std::string(port_text) + " error!",
                                  kErrorTitle, MessageIcon::error);
        return false;
    }
    std::uint64_t drained = 0;
    while (::read(state_->wake_fd, &drained, sizeof drained) > 0) {
    }
    state_->sessions.clear();
    if (const AppSettings settings = state_->model.settings();
        settings.protect != "0" && (settings.user_name.empty() || settings.password.empty())) {
        state_->sink.show_message(
            "web interface: protection is on but the user name or password is empty, so no "
            "login can succeed",
            kRealm, MessageIcon::warning);
    }
    state_->listen_sock = sock;
    state_->running = true;
    try {
        listener_ = std::thread([state = state_] { web_listen_loop(state); });
    } catch (const std::system_error&) {
        state_->running = false;
        brellix_socket_close(state_->listen_sock.exchange(0));
        state_->sink.show_message("listen on port " + std::string(port_text) + " error!",
                                  kErrorTitle, MessageIcon::error);
        return false;
    }
    return true;
}

bool WebServer::start_if_enabled() {
    const AppSettings settings = state_->model.settings();
    return settings.enable_web == "1" && start(settings.web_listen_port.view());
}

void WebServer::stop() {
    state_->running = false;
    const std::uint64_t one = 1;
    if (state_->wake_fd >= 0) (void)!::write(state_->wake_fd, &one, sizeof one);
    if (listener_.joinable()) listener_.join();
}

bool WebServer::running() const {
    return state_->running.load();
}

int WebServer::port() const {
    const int sock = state_->listen_sock.load();
    if (sock <= 0) return 0;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

SessionTable& WebServer::sessions() {
    return state_->sessions;
}

std::size_t WebServer::connection_count() const {
    return state_->connections.size();
}

std::unique_ptr<WebServer> start_web_interface(AppModel& model, MessageSink& sink,
                                               WebServerOptions options) {
    auto server = std::make_unique<WebServer>(model, sink, std::move(options));
    if (!server->start_if_enabled()) return nullptr;
    return server;
}

}  // namespace zk
