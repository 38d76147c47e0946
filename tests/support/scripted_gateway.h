#pragma once
// A scripted UPnP gateway on 127.0.0.1 for the client's tests: an SSDP responder on a UDP port
// that the client is given as its search address, and an HTTP server for the description and
// the SOAP control URL. Nothing here sends anywhere but loopback.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/wait_for.h"
#include "upnp/upnp_nat.h"

namespace zk::test {

inline constexpr std::string_view kIgdType = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
inline constexpr std::string_view kWanType = "urn:schemas-upnp-org:device:WANDevice:1";
inline constexpr std::string_view kWanConnectionType =
    "urn:schemas-upnp-org:device:WANConnectionDevice:1";

// Answers searches whose "ST:" value is one of `targets` (compared exactly) with `replies`,
// one datagram each, in order, `delay` after the search came. Records every datagram it receives.
class SsdpResponder {
public:
    SsdpResponder(std::vector<std::string> targets, std::vector<std::string> replies,
                  std::chrono::milliseconds delay = {});
    ~SsdpResponder();
    std::uint16_t port() const { return port_; }
    std::vector<std::string> searches() const;

private:
    void run();
    std::uint16_t port_ = 0;  // set by the initialiser of fd_, so declared before it
    int fd_ = -1;
    std::vector<std::string> targets_;
    std::vector<std::string> replies_;
    std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::vector<std::string> searches_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct HttpReply {
    std::string bytes;
    bool keep_open = false;  // hold the connection after the reply until the client closes it
    // When not zero, the reply goes out one byte per gap (for at most 30 s, and only while the
    // client stays connected), so it never falls silent long enough to end by silence.
    std::chrono::milliseconds trickle_gap{0};
};

// Serves one connection at a time; each request (headers and Content-Length body) goes to the
// handler, and is recorded.
class HttpServer {
public:
    using Handler = std::function<HttpReply(const std::string& request)>;
    explicit HttpServer(Handler handler);
    ~HttpServer();
    std::uint16_t port() const { return port_; }
    std::string base() const;  // "http://127.0.0.1:<port>"
    std::vector<std::string> requests() const;

private:
    void run();
    void serve(int connection);
    void trickle(int connection, const HttpReply& reply) const;
    std::uint16_t port_ = 0;  // set by the initialiser of fd_, so declared before it
    int fd_ = -1;
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A loopback TCP port that is bound but not listening, so connecting to it is refused; the
// port stays reserved while the object lives.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    int port() const { return port_; }

private:
    std::uint16_t port_ = 0;  // set by the initialiser of fd_, so declared before it
    int fd_ = -1;
};

// What a scripted gateway serves.
struct GatewayScript {
    std::vector<std::string> search_targets = {"upnp:rootdevice"};
    std::string description;             // the XML; "{base}" is replaced by the server's base URL
    std::string description_reply;       // when set, the whole HTTP reply instead of description
    std::string external_address_reply;  // whole HTTP reply to GetExternalIPAddress
    std::vector<std::string> entry_replies;  // whole HTTP replies for indexes 0, 1, ...
    std::string past_end_reply;              // for every later index
    bool keep_open = false;
    // Replies to requests that contain this text trickle out one byte per trickle_gap.
    std::string trickle_when;
    std::chrono::milliseconds trickle_gap{500};
};

class ScriptedGateway {
public:
    explicit ScriptedGateway(GatewayScript script);
    // Search address and port of this gateway, two tries, short waits.
    UpnpOptions options() const;
    std::string base() const { return http_.base(); }
    std::vector<std::string> requests() const { return http_.requests(); }
    std::vector<std::string> searches() const { return ssdp_.searches(); }

private:
    HttpReply answer(const std::string& request) const;
    GatewayScript script_;
    HttpServer http_;
    SsdpResponder ssdp_;
};

// ---- Reply builders ----

std::string http_ok(const std::string& body);
// HTTP 500 with a SOAP fault carrying the UPnP error code (713: index past the table).
std::string soap_fault(int code);
// A SOAP reply; `prefix` ("s", "u", "m" style, or "" for none) names the envelope, the response
// and its fields as given.
struct SoapPrefixes {
    std::string envelope;  // e.g. "s:" or "SOAP-ENV:" or ""
    std::string response;  // e.g. "u:"
    std::string field;     // e.g. "m:" or ""
};
std::string soap_reply(const SoapPrefixes& prefixes, const std::string& response,
                       const std::string& fields);
std::string entry_fields(const std::string& external_port, const std::string& protocol,
                         const std::string& internal_port, const std::string& client,
                         const std::string& description, const std::string& field_prefix = "");
// A device description: URLBase when `url_base` is not empty, then the usual device tree
// ending in one service of `service_type` at `control_url`.
std::string description_xml(const std::string& url_base, const std::string& service_type,
                            const std::string& control_url);

}  // namespace zk::test
