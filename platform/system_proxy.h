#pragma once
// The system's HTTP proxy setting, which HTTP-proxy mappings may chain to. On Linux it is the
// `http_proxy` (or `HTTP_PROXY`) environment variable, "http://host:port/" and the like.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

// Looks an environment variable up: its value, or nullopt when it is not set. Tests inject
// their own.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The process environment (getenv).
std::optional<std::string> process_environment(const char* name);

// The proxy text: `http_proxy`, else `HTTP_PROXY`; nullopt when neither holds any text.
std::optional<std::string> system_proxy_text(const EnvironmentLookup& environment);

struct ProxySetting {
    std::string host;
    std::string port;  // decimal text; "80" when the setting names none
};

// Reads a proxy text: the part after "http=" when there is one, cut at the first ";"; a
// "scheme://" prefix, "user:password@" and anything from the first "/" after the host are
// dropped; the rest is host[:port]. nullopt when no host remains or the port is not a decimal
// number from 1 to 65535.
std::optional<ProxySetting> parse_proxy_setting(std::string_view text);

}  // namespace zk
