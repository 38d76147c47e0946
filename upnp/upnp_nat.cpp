// Discovery, the description request and the search for the WAN connection service.
#include "upnp/upnp_nat.h"

#include <algorithm>
#include <initializer_list>
#include <thread>
#include <utility>

#include "core/port_mapping.h"
#include "xml/xml_node.h"

namespace zk {
namespace {

// The historical search spells the target "UPnP:rootdevice"; many gateways compare it
// case-sensitively and stay silent, so the standard spelling goes out right after it.
constexpr std::string_view kSearch =
    "M-SEARCH * HTTP/1.1\r\nST:UPnP:rootdevice\r\nMX: 3\r\nMan:\"ssdp:discover\"\r\n"
    "HOST: 239.255.255.250:1900\r\n\r\n";
constexpr std::string_view kStandardSearch =
    "M-SEARCH * HTTP/1.1\r\nST:upnp:rootdevice\r\nMX: 3\r\nMan:\"ssdp:discover\"\r\n"
    "HOST: 239.255.255.250:1900\r\n\r\n";
static_assert(kSearch.size() == 99 && kStandardSearch.size() == 99);

constexpr std::chrono::milliseconds kSearchPass{1000};
constexpr std::size_t kMaxDatagram = 102400;

constexpr std::string_view kDeviceGateway = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
constexpr std::string_view kDeviceWan = "urn:schemas-upnp-org:device:WANDevice:1";
constexpr std::string_view kDeviceWanConnection =
    "urn:schemas-upnp-org:device:WANConnectionDevice:1";

std::optional<std::string> type_of(const XMLNode& node, std::string_view type_element) {
    return node.child_by_name(type_element).text_at(0);
}

// The first `element` child of `list` whose `type_element` text is one of `types`.
XMLNode find_typed(const XMLNode& list, std::string_view element, std::string_view type_element,
                   std::initializer_list<std::string_view> types) {
    const int count = list.child_count(element);
    for (int i = 0; i < count; ++i) {
        const XMLNode candidate = list.child_by_name(element, i);
        const std::optional<std::string> type = type_of(candidate, type_element);
        for (std::string_view wanted : types) {
            if (type && *type == wanted) return candidate;
        }
    }
    return {};
}

// A relative URL is appended to the base as it stands, except that a base ending in "/" and a
// URL starting with "/" share one slash: "//path" is refused by many gateways.
std::string join_url(const std::string& base, const std::string& relative) {
    if (!base.empty() && base.back() == '/' && !relative.empty() && relative.front() == '/')
        return base + relative.substr(1);
    return base + relative;
}

}  // namespace

UpnpNat::UpnpNat(UpnpOptions options) : options_(std::move(options)) {}

bool UpnpNat::discovery() {
    const upnp_net::Socket socket = upnp_net::open_search_socket();
    if (socket.is_open()) {
        upnp_net::send_datagram(socket, options_.search_address, options_.search_port, kSearch);
        upnp_net::send_datagram(socket, options_.search_address, options_.search_port,
                                kStandardSearch);
    }
    const upnp_net::Deadline deadline = std::chrono::steady_clock::now() + options_.exchange_limit;
    for (int pass = 0; socket.is_open() && pass < options_.tries; ++pass) {
        const std::chrono::milliseconds left = upnp_net::time_left(deadline);
        if (left == std::chrono::milliseconds::zero()) break;
        const std::optional<std::string> reply =
            upnp_net::receive_datagram(socket, std::min(kSearchPass, left), kMaxDatagram);
        if (!reply || reply->find("200 OK") == std::string::npos) continue;
        const std::size_t url = reply->find("http://");
        if (url == std::string::npos) continue;
        const std::size_t end = reply->find('\r', url);
        if (end == std::string::npos) continue;
        describe_url_ = reply->substr(url, end - url);
        return true;
    }
    last_error_ = "Fail to find an UPNP NAT.\n";
    return false;
}

std::optional<UrlParts> UpnpNat::parseUrl(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::nullopt;
    const std::size_t host = scheme + 3;
    const std::size_t slash = url.find('/', host);
    if (slash == std::string_view::npos) return std::nullopt;
    UrlParts parts;
    // Only a ':' before the path separates a port: control paths often hold colons.
    const std::size_t colon = url.find(':', host);
    if (colon != std::string_view::npos && colon < slash) {
        parts.host = std::string(url.substr(host, colon - host));
        parts.port = text_to_int(url.substr(colon + 1, slash - colon - 1));
    } else {
        parts.host = std::string(url.substr(host, slash - host));
    }
    parts.path = std::string(url.substr(slash));
    return parts;
}

bool UpnpNat::tcp_connect(const std::string& host, int port) {
    connection_.close();
    deadline_ = std::chrono::steady_clock::now() + options_.exchange_limit;
    // A host name or a port out of range can never connect; do not wait for it.
    const int attempts = upnp_net::is_ipv4_endpoint(host, port) ? options_.tries : 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::this_thread::sleep_for(
            std::min(options_.connect_pause, upnp_net::time_left(deadline_)));
        const std::chrono::milliseconds left = upnp_net::time_left(deadline_);
        if (left == std::chrono::milliseconds::zero()) break;
        connection_ = upnp_net::connect_tcp(host, port, std::min(options_.reply_limit, left));
        if (connection_.is_open()) return true;
    }
    last_error_ = "Fail to connect to " + host + ":" + std::to_string(port) + " (using TCP)\n";
    return false;
}

bool UpnpNat::exchange(std::string_view request, std::string& reply) {
    // A request the gateway does not take shows as a reply that never comes.
    upnp_net::send_all(connection_, request, options_.reply_limit, deadline_);
    reply.clear();
    const upnp_net::ReceiveEnd end = upnp_net::receive_until_closed(
        connection_, options_.reply_limit, deadline_, kMaxReplyBytes, reply);
    if (end == upnp_net::ReceiveEnd::deadline) {
        last_error_ = "The gateway did not complete its reply within " +
                      std::to_string(options_.exchange_limit.count()) + " ms.\n";
        return false;
    }
    if (end == upnp_net::ReceiveEnd::too_large) {
        last_error_ =
            "The gateway's reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes.\n";
        return false;
    }
    return true;
}

bool UpnpNat::get_description() {
    const std::optional<UrlParts> url = parseUrl(describe_url_);
    if (!url) {
        last_error_ = "Failed to parseURl: " + describe_url_ + "\n";
        return false;
    }
    if (!tcp_connect(url->host, url->port)) return false;
    const std::string request = "GET " + url->path + " HTTP/1.1\r\nHost: " + url->host + ":" +
                                std::to_string(url->port) + "\r\n\r\n";
    // Whatever arrived before the gateway closed (or fell silent) is the description.
    if (exchange(request, description_)) return true;
    connection_.close();
    return false;
}

void UpnpNat::set_description(std::string describe_url, std::string description) {
    describe_url_ = std::move(describe_url);
    description_ = std::move(description);
}

bool UpnpNat::parser_description() {
    connection_.close();  // the description has been read in full
    const XMLNode root = xml_parse_text(description_, "root");
    if (root.is_empty()) {
        last_error_ =
            "The device descripe XML file is not a valid XML file. Cann't find root element.\n";
        return false;
    }
    if (const std::optional<std::string> base = root.child_by_name("URLBase").text_at(0)) {
        base_URL_ = *base;
    } else {
        const std::size_t end =
            describe_url_.size() > 7 ? describe_url_.find('/', 7) : std::string::npos;
        if (end == std::string::npos) {
            last_error_ = "Fail to get base_URL from XMLNode \"URLBase\" or describe_url.\n";
            return false;
        }
        base_URL_ = describe_url_.substr(0, end);
    }
    const XMLNode gateway = find_typed(root, "device", "deviceType", {kDeviceGateway});
    if (gateway.is_empty()) {
        last_error_ =
            "Fail to find device \"urn:schemas-upnp-org:device:InternetGatewayDevice:1 \"\n";
        return false;
    }
    const XMLNode gateway_list = gateway.child_by_name("deviceList");
    if (gateway_list.is_empty()) {
        last_error_ =
            " Fail to find deviceList of device "
            "\"urn:schemas-upnp-org:device:InternetGatewayDevice:1 \"\n";
        return false;
    }
    const XMLNode wan = find_typed(gateway_list, "device", "deviceType", {kDeviceWan});
    if (wan.is_empty()) {
        last_error_ = "Fail to find device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n";
        return false;
    }
    const XMLNode wan_list = wan.child_by_name("deviceList");
    if (wan_list.is_empty()) {
        last_error_ =
            " Fail to find deviceList of device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n";
        return false;
    }
    const XMLNode connection = find_typed(wan_list, "device", "deviceType", {kDeviceWanConnection});
    if (connection.is_empty()) {
        last_error_ = "Fail to find device \"urn:schemas-upnp-org:device:WANConnectionDevice:1\"\n";
        return false;
    }
    const XMLNode services = connection.child_by_name("serviceList");
    if (services.is_empty()) {
        last_error_ =
            " Fail to find serviceList of device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n";
        return false;
    }
    const XMLNode service =
        find_typed(services, "service", "serviceType", {kServiceWanIp, kServiceWanPpp});
    if (service.is_empty()) {
        last_error_ = "can't find  \" SERVICE_WANIP \" or \" SERVICE_WANPPP \" service.\n";
        return false;
    }
    service_type_ = type_of(service, "serviceType").value_or("");
    control_url_ = service.child_by_name("controlURL").text_at(0).value_or("");
    if (control_url_.find("http://") == std::string::npos &&
        control_url_.find("HTTP://") == std::string::npos) {
        control_url_ = join_url(base_URL_, control_url_);
    }
    return true;
}

}  // namespace zk
