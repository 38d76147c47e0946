// One web connection: one request, at most one reply.

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>

#include "core/port_mapping.h"
#include "engine/brellix_socket.h"
#include "web/action_guard.h"
#include "web/http_headers.h"
#include "web/request_reader.h"
#include "web/static_files.h"
#include "web/web_auth.h"
#include "web/web_pages.h"
#include "web/web_server_state.h"

namespace zk {
namespace {

constexpr std::string_view kUnknownHost =
    "This web interface answers only to its IP addresses, localhost and this machine's name.";
constexpr std::string_view kTooManyFailures =
    "Too many failed logins from your address; please wait a while before trying again.";

// The client's IPv4 address in host order; 0 when it cannot be read.
std::uint32_t peer_address(int sock) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET) {
        return 0;
    }
    return ntohl(address.sin_addr.s_addr);
}

}  // namespace

void serve_web_connection(WebServerState& state, int sock) {
    const WebServerOptions& o = state.options;
    RequestReader reader;
    const auto deadline = std::chrono::steady_clock::now() + o.request_deadline;
    if (web_read_request(sock, reader, o.read_wait_us, deadline) != kSocketDone) return;
    state.connections.request_read(sock);
    const std::string& text = reader.text();
    const std::string_view header = header_block(text);
    if (!state.hosts.allows(header_value(header, "Host"))) {
        web_send_refused(sock, "403 Forbidden", kUnknownHost, o.send_wait_us);
        return;
    }
    auto request = parse_web_request(text, o.program_dir);
    if (!request) return;
    if (request->action == WebAction::static_file) {
        send_static_file(sock, request->file_path, o.send_wait_us);
        return;
    }
    // Credentials are read per request, so changed settings apply to the next one.
    const AppSettings settings = state.model.settings();
    switch (authenticate(*request, header, settings, state.sessions, state.throttle,
                         peer_address(sock))) {
        case AuthResult::challenge: web_send_unauthorized(sock, o.send_wait_us); return;
        case AuthResult::throttled:
            web_send_refused(sock, "429 Too Many Requests", kTooManyFailures, o.send_wait_us);
            return;
        case AuthResult::refused: return;
        case AuthResult::accepted: break;
    }
    if (const auto refusal = action_refusal(*request, header)) {
        web_send_refused(sock, "403 Forbidden", web_refusal(*refusal, request->session_id),
                         o.send_wait_us);
        return;
    }
    if (request->action == WebAction::logout) {
        state.sessions.remove(text_to_int(request->session_text));
    }
    WebActionContext context{state.model, o.hooks, o.send_wait_us};
    run_web_action(sock, *request, text, context);
}

}  // namespace zk
