#include "support/scripted_gateway.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace zk::test {
namespace {

constexpr int kPollStepMs = 50;
constexpr auto kRequestLimit = std::chrono::seconds(5);
constexpr auto kHoldLimit = std::chrono::seconds(30);

// A socket bound to 127.0.0.1 on a port the kernel picks; throws when that fails.
int bind_loopback(int type, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, kPollStepMs) > 0;
}

std::size_t content_length(const std::string& headers) {
    std::string lower = headers;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find("content-length:");
    return at == std::string::npos ? 0 : std::strtoul(lower.c_str() + at + 15, nullptr, 10);
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

GatewayScript with_defaults(GatewayScript script) {
    if (script.past_end_reply.empty()) script.past_end_reply = soap_fault(713);
    return script;
}

}  // namespace

SsdpResponder::SsdpResponder(std::vector<std::string> targets, std::vector<std::string> replies,
                             std::chrono::milliseconds delay)
    : fd_(bind_loopback(SOCK_DGRAM, port_)),
      targets_(std::move(targets)),
      replies_(std::move(replies)),
      delay_(delay),
      thread_([this] { run(); }) {}

SsdpResponder::~SsdpResponder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

std::vector<std::string> SsdpResponder::searches() const {
    std::lock_guard lock(mutex_);
    return searches_;
}

void SsdpResponder::run() {
    char buffer[2048];
    while (!stop_) {
        if (!readable(fd_)) continue;
        sockaddr_in sender{};
        socklen_t size = sizeof sender;
        const ssize_t got = ::recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&sender), &size);
        if (got <= 0) continue;
        const std::string search(buffer, static_cast<std::size_t>(got));
        {
            std::lock_guard lock(mutex_);
            searches_.push_back(search);
        }
        const std::size_t st = search.find("\r\nST:");
        const std::size_t end = st == std::string::npos ? st : search.find("\r\n", st + 5);
        if (end == std::string::npos) continue;
        const std::string target = search.substr(st + 5, end - st - 5);
        for (const std::string& wanted : targets_) {
            if (wanted != target) continue;
            const auto answer_at = std::chrono::steady_clock::now() + delay_;
            while (!stop_ && std::chrono::steady_clock::now() < answer_at)
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMs));
            for (const std::string& reply : replies_) {
                ::sendto(fd_, reply.data(), reply.size(), MSG_NOSIGNAL,
                         reinterpret_cast<sockaddr*>(&sender), size);
            }
        }
    }
}

HttpServer::HttpServer(Handler handler)
    : fd_(bind_loopback(SOCK_STREAM, port_)), handler_(std::move(handler)) {
    ::listen(fd_, 16);
    thread_ = std::thread([this] { run(); });
}

HttpServer::~HttpServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

std::string HttpServer::base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> HttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpServer::run() {
    while (!stop_) {
        if (!readable(fd_)) continue;
        const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        serve(connection);
        ::close(connection);
    }
}

void HttpServer::serve(int connection) {
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;
    for (;;) {
        if (stop_ || std::chrono::steady_clock::now() > deadline) return;
        const std::size_t head_end = request.find("\r\n\r\n");
        if (head_end != std::string::npos &&
            request.size() >= head_end + 4 + content_length(request.substr(0, head_end)))
            break;
        if (!readable(connection)) continue;
        char buffer[4096];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const HttpReply reply = handler_(request);
    if (reply.trickle_gap.count() > 0) {
        trickle(connection, reply);
        return;
    }
    ::send(connection, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
    if (!reply.keep_open) return;
    const auto hold_until = std::chrono::steady_clock::now() + kHoldLimit;
    while (!stop_ && std::chrono::steady_clock::now() < hold_until) {
        char buffer[256];
        if (readable(connection) && ::recv(connection, buffer, sizeof buffer, 0) <= 0) return;
    }
}

void HttpServer::trickle(int connection, const HttpReply& reply) const {
    const auto give_up = std::chrono::steady_clock::now() + kHoldLimit;
    for (const char byte : reply.bytes) {
        if (stop_ || std::chrono::steady_clock::now() > give_up) return;
        // Once the client has closed, a send fails (at the latest the one after its reset).
        if (::send(connection, &byte, 1, MSG_NOSIGNAL) != 1) return;
        const auto next = std::chrono::steady_clock::now() + reply.trickle_gap;
        while (!stop_ && std::chrono::steady_clock::now() < next)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

ClosedPort::ClosedPort() : fd_(bind_loopback(SOCK_STREAM, port_)) {}

ClosedPort::~ClosedPort() {
    ::close(fd_);
}

ScriptedGateway::ScriptedGateway(GatewayScript script)
    : script_(with_defaults(std::move(script))),
      http_([this](const std::string& request) { return answer(request); }),
      ssdp_(script_.search_targets,
            {"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: upnp:rootdevice\r\n"
             "USN: uuid:00000000-0000-0000-0000-000000000001::upnp:rootdevice\r\nEXT:\r\n"
             "SERVER: Linux/5.10 UPnP/1.0 scripted/1.0\r\nLOCATION: " +
             http_.base() + "/rootDesc.xml\r\n\r\n"}) {}

UpnpOptions ScriptedGateway::options() const {
    UpnpOptions options;
    options.tries = 2;
    options.search_address = "127.0.0.1";
    options.search_port = ssdp_.port();
    options.reply_limit = std::chrono::milliseconds(script_.keep_open ? 200 : 5000);
    options.connect_pause = std::chrono::milliseconds(0);
    return options;
}

HttpReply ScriptedGateway::answer(const std::string& request) const {
    std::string bytes = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    if (request.rfind("GET ", 0) == 0) {
        bytes = !script_.description_reply.empty()
                    ? script_.description_reply
                    : http_ok(replace_all(script_.description, "{base}", http_.base()));
    } else if (request.find("#GetExternalIPAddress\"") != std::string::npos) {
        bytes = script_.external_address_reply;
    } else if (request.find("#GetGenericPortMappingEntry\"") != std::string::npos) {
        const std::size_t at = request.find("<NewPortMappingIndex>");
        const std::size_t index =
            at == std::string::npos ? 0 : std::strtoul(request.c_str() + at + 21, nullptr, 10);
        bytes = index < script_.entry_replies.size() ? script_.entry_replies[index]
                                                     : script_.past_end_reply;
    }
    const bool trickled =
        !script_.trickle_when.empty() && request.find(script_.trickle_when) != std::string::npos;
    return {bytes, script_.keep_open,
            trickled ? script_.trickle_gap : std::chrono::milliseconds::zero()};
}

std::string http_ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string soap_fault(int code) {
    const std::string body =
        "<?xml version=\"1.0\"?>\r\n<s:Envelope "
        "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><s:Fault>"
        "<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
        "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
        std::to_string(code) +
        "</errorCode><errorDescription>SpecifiedArrayIndexInvalid</errorDescription>"
        "</UPnPError></detail></s:Fault></s:Body></s:Envelope>\r\n";
    return "HTTP/1.1 500 Internal Server Error\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string soap_reply(const SoapPrefixes& prefixes, const std::string& response,
                       const std::string& fields) {
    const std::string& e = prefixes.envelope;
    const std::string& r = prefixes.response;
    return http_ok("<?xml version=\"1.0\"?>\r\n<" + e +
                   "Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><" + e +
                   "Body><" + r + response +
                   " xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" + fields + "</" +
                   r + response + "></" + e + "Body></" + e + "Envelope>\r\n");
}

std::string entry_fields(const std::string& external_port, const std::string& protocol,
                         const std::string& internal_port, const std::string& client,
                         const std::string& description, const std::string& p) {
    const auto element = [&p](const std::string& name, const std::string& value) {
        return "<" + p + name + ">" + value + "</" + p + name + ">";
    };
    return element("NewRemoteHost", "") + element("NewExternalPort", external_port) +
           element("NewProtocol", protocol) + element("NewInternalPort", internal_port) +
           element("NewInternalClient", client) + element("NewEnabled", "1") +
           element("NewPortMappingDescription", description) + element("NewLeaseDuration", "0");
}

std::string description_xml(const std::string& url_base, const std::string& service_type,
                            const std::string& control_url) {
    const std::string base = url_base.empty() ? "" : "<URLBase>" + url_base + "</URLBase>\r\n";
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
           "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n" +
           base + "<device><deviceType>" + std::string(kIgdType) +
           "</deviceType>\r\n<friendlyName>Scripted Gateway</friendlyName>\r\n"
           "<serviceList><service><serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1"
           "</serviceType><controlURL>/l3f</controlURL></service></serviceList>\r\n"
           "<deviceList><device><deviceType>" +
           std::string(kWanType) + "</deviceType>\r\n<deviceList><device><deviceType>" +
           std::string(kWanConnectionType) +
           "</deviceType>\r\n<serviceList><service><serviceType>" + service_type +
           "</serviceType>\r\n<controlURL>" + control_url +
           "</controlURL></service></serviceList>\r\n"
           "</device></deviceList></device></deviceList></device>\r\n</root>\r\n";
}

}  // namespace zk::test
