// One web connection: one request, at most one reply.

#include "core/port_mapping.h"
#include "engine/brellix_socket.h"
#include "web/request_reader.h"
#include "web/static_files.h"
#include "web/web_auth.h"
#include "web/web_server_state.h"

namespace zk {

void serve_web_connection(WebServerState& state, int sock) {
    RequestReader reader;
    if (web_read_request(sock, reader, state.options.read_wait_us) != kSocketDone) return;
    const std::string& text = reader.text();
    auto request = parse_web_request(text, state.options.program_dir);
    if (!request) return;
    if (request->action == WebAction::static_file) {
        send_static_file(sock, request->file_path, state.options.send_wait_us);
        return;
    }
    // Credentials are read per request, so changed settings apply to the next one.
    const AppSettings settings = state.model.settings();
    switch (authenticate(*request, header_block(text), settings, state.sessions)) {
        case AuthResult::challenge: web_send_unauthorized(sock, state.options.send_wait_us); return;
        case AuthResult::refused: return;
        case AuthResult::accepted: break;
    }
    if (request->action == WebAction::logout) {
        state.sessions.remove(text_to_int(request->session_text));
    }
    WebActionContext context{state.model, state.options.hooks, state.options.send_wait_us};
    run_web_action(sock, *request, text, context);
}

}  // namespace zk
