#include "engine/http_proxy.h"

#include <string_view>

#include "engine/brellix_socket.h"
#include "engine/destination_connect.h"
#include "engine/head_reader.h"
#include "engine/host_lookup.h"
#include "engine/http_request.h"

namespace zk {
namespace {

constexpr std::string_view kTunnelReply =
    "HTTP/1.0 200 Connection established\r\nProxy-agent: zk-gate\r\n\r\n";

// The rest of a CONNECT head is read up to its empty line, and not one byte of the tunnel that
// follows; then the fixed reply opens the tunnel.
bool answer_tunnel(HeadReader& head, StreamLeg& client, std::int64_t wait_us) {
    std::string line;
    do {
        if (!head.read_line(line)) return false;
    } while (!is_blank_line(line));
    return client.write_all(kTunnelReply.data(), kTunnelReply.size(), wait_us) == kSocketDone;
}

// Sends the rewritten head: the new request line, then the client's header lines up to and
// including the empty line, in as few writes as the head's size allows.
bool forward_head(HeadReader& client, StreamLeg& destination, const ProxyRequest& request,
                  std::int64_t wait_us) {
    std::string head = origin_request_start(request);
    std::string line;
    bool dropping = false;  // a folded continuation goes where its header line went
    for (;;) {
        if (!client.read_line(line)) return false;
        if (is_blank_line(line)) {
            head += line;
            break;
        }
        if (!is_continuation_line(line)) dropping = is_dropped_header(line);
        if (dropping) continue;
        head += line;
        if (head.size() >= kProxyLineSize) {
            if (destination.write_all(head.data(), head.size(), wait_us) != kSocketDone) {
                return false;
            }
            head.clear();
        }
    }
    return destination.write_all(head.data(), head.size(), wait_us) == kSocketDone;
}

}  // namespace

bool http_proxy_setup(const EngineState& state, const ListenerCopy& copy, SessionInfo& session,
                      const AttachDestination& attach, std::string& destination_address) {
    StreamLeg& client = *session.client_leg;
    const std::int64_t wait_us = state.timings.write_wait_us;
    if (copy.upstream_proxy_enabled && state.use_system_proxy.load()) {
        destination_address = copy.upstream_proxy_host;
        const int sock = connect_destination(
            copy.upstream_proxy_host, text_to_int(copy.upstream_proxy_port), session.client_fd);
        return sock != 0 && attach(sock);
    }
    HeadReader head(client, wait_us);
    std::string line;
    if (!head.read_line(line)) return false;
    const auto request = parse_proxy_request(line);
    if (!request) return false;
    // A requested host is a name when it ends in a letter.
    destination_address = address_or_text(state.resolver, request->host, LetterAt::last);
    const int sock = connect_destination(destination_address, request->port, session.client_fd);
    if (sock == 0 || !attach(sock)) return false;
    if (request->kind == ProxyRequestKind::tunnel) return answer_tunnel(head, client, wait_us);
    return forward_head(head, *session.destination_leg, *request, wait_us);
}

}  // namespace zk
