#include "engine/http_request.h"

#include <algorithm>
#include <cctype>

#include "core/ascii_text.h"
#include "core/validation.h"

namespace zk {
namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_token_char(unsigned char c) {
    return std::isalnum(c) != 0 ||
           std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// The next run of non-space characters from `at`, moving `at` past it.
std::string_view next_word(std::string_view text, std::size_t& at) {
    while (at < text.size() && is_space(text[at]))
        ++at;
    const std::size_t start = at;
    while (at < text.size() && !is_space(text[at]))
        ++at;
    return text.substr(start, at - start);
}

// host[:port] into the request; false when the host is empty or too long or the port is bad.
bool parse_authority(std::string_view authority, ProxyRequest& request) {
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (host.empty() || host.size() > kProxyHostSize ||
        host.find_first_of("/@?#") != std::string_view::npos) {
        return false;
    }
    request.host = std::string(host);
    request.port = 80;
    if (colon == std::string_view::npos) return true;
    const auto port = port_number(authority.substr(colon + 1));
    if (!port) return false;
    request.port = *port;
    return true;
}

}  // namespace

std::optional<ProxyRequest> parse_proxy_request(std::string_view line) {
    std::size_t at = 0;
    const std::string_view method = next_word(line, at);
    const std::string_view target = next_word(line, at);
    if (method.empty() || target.empty()) return std::nullopt;
    if (!std::all_of(method.begin(), method.end(),
                     [](char c) { return is_token_char(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    ProxyRequest request;
    request.method = std::string(method);
    if (method == "CONNECT") {
        request.kind = ProxyRequestKind::tunnel;
        if (!parse_authority(target, request)) return std::nullopt;
        return request;
    }
    // Absolute form only: an origin-form target ("/index.html") names no host to go to.
    const std::size_t slashes = target.find("//");
    if (target.front() == '/' || slashes == std::string_view::npos) return std::nullopt;
    const std::string_view rest = target.substr(slashes + 2);
    const std::size_t path_start = rest.find_first_of("/?#");
    if (!parse_authority(rest.substr(0, path_start), request)) return std::nullopt;
    request.kind = ProxyRequestKind::absolute;
    // No path, or a query right after the host: the origin-form target starts with "/".
    const std::string_view path =
        path_start == std::string_view::npos ? std::string_view() : rest.substr(path_start);
    request.path.clear();
    if (path.empty() || path.front() != '/') request.path.push_back('/');
    request.path.append(path.data(), path.size());
    if (request.path.size() > kProxyPathSize) return std::nullopt;
    return request;
}

std::string origin_request_start(const ProxyRequest& request) {
    return request.method + " " + request.path + " HTTP/1.0\r\nConnection: close\r\n";
}

bool is_blank_line(std::string_view line) {
    return line == "\r\n" || line == "\n";
}

bool is_dropped_header(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    return equals_no_case(name, "Proxy-Connection") || equals_no_case(name, "Connection");
}

bool is_continuation_line(std::string_view line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

}  // namespace zk
