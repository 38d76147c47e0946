#pragma once
// The first line of a request to an HTTP-proxy mapping, and the header rules of the rewritten
// request. Pure text functions.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

inline constexpr std::size_t kProxyLineSize = 10240;  // request line and each header line
inline constexpr std::size_t kProxyHostSize = 255;
inline constexpr std::size_t kProxyPathSize = 4095;

enum class ProxyRequestKind {
    absolute,  // "GET http://host:port/path HTTP/1.1": rewritten and sent to host:port
    tunnel,    // "CONNECT host:port HTTP/1.1": answered here, then bytes pass unchanged
};

struct ProxyRequest {
    ProxyRequestKind kind = ProxyRequestKind::absolute;
    std::string method;  // kept for the origin ("POST" stays "POST")
    std::string host;    // as the client wrote it, name or dotted address
    int port = 80;       // 1 to 65535; 80 when the request names none
    std::string path;    // absolute form: the origin-form target, "/" when the URI has none
};

// Parses a request line (its line end may be included). Absolute form: the method, then a URI
// with "//" whose authority is host[:port] and whose path runs to the next white space. CONNECT:
// host[:port]. Anything else is refused: origin-form lines, a missing or over-long host or path,
// a host with "/", "@", "?" or "#" in it, a port that is not a decimal number from 1 to 65535,
// a method that is not a token.
std::optional<ProxyRequest> parse_proxy_request(std::string_view line);

// "METHOD PATH HTTP/1.0\r\nConnection: close\r\n": the start of the head the origin receives;
// the client's header lines follow.
std::string origin_request_start(const ProxyRequest& request);

// An empty line ("\r\n" or "\n") ends a request head.
bool is_blank_line(std::string_view line);

// Header lines the proxy does not pass on: "Proxy-Connection" and "Connection" (the rewritten
// head carries its own "Connection: close"), names compared without regard to case.
bool is_dropped_header(std::string_view line);

// A folded continuation of the previous header line (it begins with a space or a tab).
bool is_continuation_line(std::string_view line);

}  // namespace zk
