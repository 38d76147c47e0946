#pragma once
// The UPnP internet gateway client: finds the gateway with an SSDP search, reads its device
// description, finds the WAN connection service and talks SOAP to its control URL. A client
// lives for one command: made, discovery, get_description, parser_description, then actions.
// Every call blocks; results are true or false, with the reason in last_error().
//
// Threading: one client is used by one thread; clients share nothing.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/upnp_socket.h"

namespace zk {

inline constexpr std::string_view kServiceWanIp = "urn:schemas-upnp-org:service:WANIPConnection:1";
inline constexpr std::string_view kServiceWanPpp =
    "urn:schemas-upnp-org:service:WANPPPConnection:1";

// Longest external address handed back, as the 50-byte field of the port tester holds it.
inline constexpr std::size_t kExternalAddressMax = 49;
// A gateway answering every index would otherwise be read forever.
inline constexpr int kMaxMappingEntries = 1024;
// A reply is a few kilobytes; a longer one fails its exchange rather than being read on.
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
// Each text of a mapping entry is cut to this many bytes (at a character boundary), so the
// listing stays bounded however long the gateway's fields are.
inline constexpr std::size_t kMaxEntryTextBytes = 256;

struct UpnpOptions {
    int tries = 10;  // one-second search passes, and connection attempts per exchange
    std::string search_address = "239.255.255.250";
    std::uint16_t search_port = 1900;
    // Silence that ends the reading of a reply (and bounds each connection attempt).
    std::chrono::milliseconds reply_limit{10000};
    // Pause before each connection attempt.
    std::chrono::milliseconds connect_pause{1000};
    // The most one exchange may take, from its first connection attempt to the end of the reply;
    // also the most the search waits. A gateway that trickles its reply byte by byte never falls
    // silent for reply_limit, so only this ends it.
    std::chrono::milliseconds exchange_limit{30000};
};

// One entry of the gateway's port-mapping table, as the gateway sent it.
struct RouterPortMapping {
    std::string description;
    std::string protocol;
    std::string external_port;
    std::string internal_client;
    std::string internal_port;
    // Optional in a reply; empty when the gateway left them out.
    std::string enabled;  // "1" or "0"
    std::string lease;    // seconds left, "0" for a forwarding without end
};

struct UrlParts {
    std::string host;
    int port = 80;
    std::string path;
};

class UpnpNat {
public:
    explicit UpnpNat(UpnpOptions options = {});

    // Sends the search and takes the first fitting reply; sets describe_url.
    bool discovery();
    // Fetches describe_url into description (status line and headers included).
    bool get_description();
    // Finds base_URL, service_type and control_url in the description.
    bool parser_description();
    // Connects the connection socket to a dotted IPv4 host; starts a new exchange, whose
    // deadline also bounds the request and the reply sent over this connection.
    bool tcp_connect(const std::string& host, int port);
    // "http://host[:port]/path": none without "://" or without a "/" after the host.
    static std::optional<UrlParts> parseUrl(std::string_view url);

    // The gateway's external address, at most kExternalAddressMax characters.
    bool get_external_address(std::string& destination);
    // Reads the whole port-mapping table into mapping_lines() and mapping_entries().
    bool get_port_mappings();
    // Reads one GetGenericPortMappingEntry reply from mapping_info().
    bool parse_mapping_info();

    // Sets the description as if get_description had fetched it from `describe_url`.
    void set_description(std::string describe_url, std::string description);
    void set_mapping_info(std::string reply) { mapping_info_ = std::move(reply); }

    const std::string& describe_url() const { return describe_url_; }
    const std::string& description() const { return description_; }
    const std::string& base_URL() const { return base_URL_; }
    const std::string& service_type() const { return service_type_; }
    const std::string& control_url() const { return control_url_; }
    const std::string& last_error() const { return last_error_; }
    const std::string& mapping_info() const { return mapping_info_; }
    // "%s/%s[%s]-->%s:%s\r\n": external port, protocol, description, client, internal port.
    const std::vector<std::string>& mapping_lines() const { return mapping_lines_; }
    const std::vector<RouterPortMapping>& mapping_entries() const { return mapping_entries_; }

private:
    // POSTs action `action` with argument text `arguments` on a fresh connection; the reply
    // goes to `reply`. False when connecting failed or `exchange` refused the reply.
    bool soap_exchange(const UrlParts& url, std::string_view action, std::string_view arguments,
                       std::string& reply);
    // Sends `request` on the connection and reads the reply into `reply`; false, with the reason
    // in last_error, when the exchange's deadline passed or the reply outgrew kMaxReplyBytes.
    bool exchange(std::string_view request, std::string& reply);

    UpnpOptions options_;
    upnp_net::Socket connection_;  // the TCP socket of the current HTTP exchange
    upnp_net::Deadline deadline_;  // end of the current exchange, set by tcp_connect
    std::string describe_url_;
    std::string description_;
    std::string base_URL_;
    std::string service_type_;
    std::string control_url_;
    std::string last_error_;
    std::string mapping_info_;
    std::vector<std::string> mapping_lines_;
    std::vector<RouterPortMapping> mapping_entries_;
};

}  // namespace zk
