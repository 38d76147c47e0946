#include "web/replies.h"

#include <string>

#include "engine/brellix_socket.h"

namespace zk {
namespace {

void send_text(int sock, const std::string& text, std::int64_t wait_us) {
    brellix_socket_send_all(sock, text.data(), text.size(), nullptr, wait_us);
}

constexpr std::string_view kPageHeaders =
    "Content-Type: text/html; charset=utf-8\r\nX-Frame-Options: DENY\r\n";

void send_framed(int sock, std::string_view status_line, std::string_view length_name,
                 std::string_view body, std::int64_t wait_us) {
    std::string reply(status_line);
    reply.append(kPageHeaders)
        .append(length_name)
        .append(std::to_string(body.size()))
        .append("\r\n\r\n")
        .append(body);
    send_text(sock, reply, wait_us);
}

}  // namespace

void web_send_message(int sock, std::string_view message, std::int64_t wait_us) {
    send_framed(sock, "HTTP/1.1 200 ok\r\n", "Content-Length:", message, wait_us);
}

void web_send_browse(int sock, std::string_view page, std::int64_t wait_us) {
    send_framed(sock, "HTTP/1.1 200 OK\r\n", "Content-Length:", page, wait_us);
}

void web_send_logout(int sock, std::string_view text, std::int64_t wait_us) {
    send_framed(sock, "HTTP/1.1 200 ok\r\n", "Content-Length: ", text, wait_us);
}

void web_send_refused(int sock, std::string_view status, std::string_view message,
                      std::int64_t wait_us) {
    const std::string status_line = "HTTP/1.1 " + std::string(status) + "\r\n";
    send_framed(sock, status_line, "Content-Length:", message, wait_us);
}

void web_send_unauthorized(int sock, std::int64_t wait_us) {
    const std::string reply =
        "HTTP/1.1 401 Authorization Required\r\nWWW-Authenticate: Basic realm=\"" +
        std::string(kRealm) + "\"\r\n\r\n";
    send_text(sock, reply, wait_us);
}

}  // namespace zk
