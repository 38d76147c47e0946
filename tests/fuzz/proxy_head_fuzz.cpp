// Feeds arbitrary bytes as the head of a request to an HTTP-proxy mapping. The request line goes
// to the parser: what it accepts names a real host and port and cannot smuggle a line break into
// the rewritten head. The whole input goes through the head reader twice, as a plain client over
// a socket pair and as a TLS client one byte per read: both must hand out the same lines, every
// line a piece of the input, and the plain reader must leave every byte after the head unread.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/brellix_socket.h"
#include "engine/head_reader.h"
#include "engine/http_request.h"

namespace {

// More than a socket pair queues without a reader could block the writer; a head this long is
// refused well before (every line fits kProxyLineSize).
constexpr std::size_t kMaxInput = 32768;
constexpr std::int64_t kWaitUs = 1000000;

// The TLS side as the head reader sees it (no socket to peek at): bytes served from memory, then
// the peer closes.
class MemoryLeg : public zk::StreamLeg {
public:
    explicit MemoryLeg(std::string_view bytes) : bytes_(bytes) {}
    int read(char* buffer, std::size_t& len, std::int64_t) override {
        if (at_ == bytes_.size()) return zk::kSocketError;
        len = std::min(len, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, len, buffer);
        at_ += len;
        return zk::kSocketDone;
    }
    int write_all(const char*, std::size_t, std::int64_t) override { return zk::kSocketError; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

struct Head {
    std::vector<std::string> lines;
    bool whole = false;  // ended by its empty line
};

// The lines the proxy reads: the request line, then (unless that was already empty) header
// lines up to the empty one.
Head read_head(zk::HeadReader& reader) {
    Head head;
    std::string line;
    while (reader.read_line(line)) {
        if (line.empty() || line.back() != '\n' || line.size() > zk::kProxyLineSize ||
            line.find('\n') != line.size() - 1) {
            std::abort();
        }
        head.lines.push_back(line);
        if (zk::is_blank_line(line)) {
            head.whole = true;
            break;
        }
    }
    return head;
}

void check_request_line(std::string_view line) {
    const auto request = zk::parse_proxy_request(line);
    if (!request) return;
    if (request->method.empty() || line.find(request->method) == std::string_view::npos) {
        std::abort();
    }
    if (request->host.empty() || request->host.size() > zk::kProxyHostSize ||
        line.find(request->host) == std::string_view::npos ||
        request->host.find_first_of("/@?# \t\r\n") != std::string::npos) {
        std::abort();
    }
    if (request->port < 1 || request->port > 65535) std::abort();
    if ((request->kind == zk::ProxyRequestKind::tunnel) != (request->method == "CONNECT")) {
        std::abort();
    }
    if (request->kind == zk::ProxyRequestKind::tunnel) return;
    if (request->path.empty() || request->path.front() != '/' ||
        request->path.size() > zk::kProxyPathSize) {
        std::abort();
    }
    // The rewritten start is exactly a request line and the Connection line.
    const std::string start = zk::origin_request_start(*request);
    if (start.find("\r\n") != start.size() - 21 || start.find('\n') != start.size() - 20 ||
        start.substr(start.size() - 19) != "Connection: close\r\n" ||
        start.find_first_of("\r\n\t ", request->method.size() + 1) !=
            request->method.size() + 1 + request->path.size()) {
        std::abort();
    }
}

Head read_as_tls(std::string_view input) {
    MemoryLeg leg(input);
    zk::HeadReader reader(leg, kWaitUs);
    return read_head(reader);
}

// Reads the head from a socket pair; `rest` receives what the reader left in the socket.
Head read_as_plain(std::string_view input, std::string& rest) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) std::abort();
    if (!input.empty() &&
        ::send(pair[1], input.data(), input.size(), 0) != static_cast<ssize_t>(input.size())) {
        std::abort();
    }
    ::shutdown(pair[1], SHUT_WR);
    const auto leg = zk::make_plain_leg(pair[0]);
    zk::HeadReader reader(*leg, kWaitUs);
    Head head = read_head(reader);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(pair[0], buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) break;
        rest.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pair[0]);
    ::close(pair[1]);
    return head;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), std::min(size, kMaxInput));
    check_request_line(input.substr(0, input.find('\n')));

    const Head tls = read_as_tls(input);
    std::string rest;
    const Head plain = read_as_plain(input, rest);
    if (tls.lines != plain.lines || tls.whole != plain.whole) std::abort();

    std::string joined;
    for (const std::string& line : plain.lines)
        joined += line;
    if (input.compare(0, joined.size(), joined) != 0) std::abort();
    if (!tls.lines.empty()) check_request_line(tls.lines.front());
    // Not one byte past the empty line is taken from the client.
    if (plain.whole && rest != std::string_view(input).substr(joined.size())) std::abort();
    return 0;
}
