#pragma once
// Which Host header values the web interface answers. A page of another site that has its own
// name resolve to this machine (DNS rebinding) sends that name as Host; answering only IP
// literals and our own names leaves such a page nothing to read or drive.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

inline constexpr const char* kWebHostsVariable = "ZELKORA_WEB_HOSTS";

// host[:port], the host of an IPv6 literal without its brackets; nothing when the port is not
// a port number (port_number) or a bracket is unclosed.
struct Authority {
    std::string_view host;
    std::string_view port;  // empty when none
    bool ipv6 = false;
};
std::optional<Authority> split_authority(std::string_view text);

class HostAllowList {
public:
    // `names`: host names served besides IP literals and "localhost", compared without regard
    // to case.
    explicit HostAllowList(std::vector<std::string> names) : names_(std::move(names)) {}

    // A request without a Host header (HTTP/1.0) is allowed.
    bool allows(std::optional<std::string_view> host) const;

private:
    std::vector<std::string> names_;
};

// This machine's host name (gethostname) and the comma-separated names of `extra`.
std::vector<std::string> served_host_names(std::string_view extra);

// The authority of an absolute URL ("http://a:1/x" gives "a:1"), user information dropped;
// nothing without "//".
std::optional<std::string_view> url_authority(std::string_view url);

// Whether two host[:port] texts name the same place: hosts without regard to case, a missing
// port taken as 80.
bool same_authority(std::string_view a, std::string_view b);

}  // namespace zk
