#include "web/host_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "core/validation.h"
#include "web/http_headers.h"

namespace zk {
namespace {

bool is_ip_literal(const Authority& a) {
    if (a.host.empty() || a.host.size() >= INET6_ADDRSTRLEN) return false;
    const std::string host(a.host);
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(a.ipv6 ? AF_INET6 : AF_INET, host.c_str(), address) == 1;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<Authority> split_authority(std::string_view text) {
    Authority a;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        a.host = text.substr(1, close - 1);
        a.ipv6 = true;
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        a.host = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (rest.empty()) return a;
    a.port = rest.substr(1);
    if (rest.front() != ':' || !port_number(a.port)) {
        return std::nullopt;
    }
    return a;
}

bool HostAllowList::allows(std::optional<std::string_view> host) const {
    if (!host) return true;
    const auto a = split_authority(*host);
    if (!a || a->host.empty()) return false;
    if (is_ip_literal(*a)) return true;
    if (a->ipv6) return false;
    if (equals_no_case(a->host, "localhost")) return true;
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& name) { return equals_no_case(a->host, name); });
}

std::vector<std::string> served_host_names(std::string_view extra) {
    std::vector<std::string> names;
    char machine[HOST_NAME_MAX + 1] = {};
    if (::gethostname(machine, sizeof machine - 1) == 0 && machine[0] != '\0') {
        names.emplace_back(machine);
    }
    // Every turn consumes one comma-separated piece.
    while (!extra.empty()) {
        const std::size_t comma = extra.find(',');
        const std::string_view name = trimmed(extra.substr(0, comma));
        if (!name.empty()) names.emplace_back(name);
        if (comma == std::string_view::npos) break;
        extra.remove_prefix(comma + 1);
    }
    return names;
}

std::optional<std::string_view> url_authority(std::string_view url) {
    const std::size_t slashes = url.find("//");
    if (slashes == std::string_view::npos) return std::nullopt;
    std::string_view rest = url.substr(slashes + 2);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        rest.remove_prefix(at + 1);
    }
    return rest;
}

bool same_authority(std::string_view a, std::string_view b) {
    const auto left = split_authority(a);
    const auto right = split_authority(b);
    if (!left || !right) return false;
    const std::string_view left_port = left->port.empty() ? "80" : left->port;
    const std::string_view right_port = right->port.empty() ? "80" : right->port;
    return left->ipv6 == right->ipv6 && equals_no_case(left->host, right->host) &&
           left_port == right_port;
}

}  // namespace zk
