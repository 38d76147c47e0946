// HTTP-proxy mappings with real clients on loopback: curl as the proxy client, a recording
// origin, openssl s_server as a TLS origin, chaining to an upstream proxy, and the combinations
// with both TLS modes.

#include <netinet/tcp.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "relay_fixture.h"
#include "tool_peers.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr std::string_view kTunnelReply =
    "HTTP/1.0 200 Connection established\r\nProxy-agent: zk-gate\r\n\r\n";
constexpr std::string_view kOriginReply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n\r\norigin";

// The value of the Content-Length line of a request head, 0 without one.
std::size_t content_length(const std::string& head) {
    std::string lower = head;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

// An HTTP server (origin or upstream proxy) that records every request it receives, head and
// body by its Content-Length, byte for byte, and answers each with kOriginReply.
class RecordingServer {
public:
    explicit RecordingServer(const char* ip = "127.0.0.1", int port = 0)
        : server_(ip, port, [this](int fd) { handle(fd); }) {}

    int port() const { return server_.port(); }
    std::vector<std::string> requests() const {
        std::lock_guard guard(lock_);
        return requests_;
    }
    // The first request, once one has arrived (empty after 10 s without).
    std::string first_request() const {
        wait_for([&] { return !requests().empty(); });
        const auto all = requests();
        return all.empty() ? "" : all.front();
    }

private:
    void handle(int fd) {
        std::string got;
        std::size_t head_end = std::string::npos;
        while (head_end == std::string::npos && got.size() < (1 << 20)) {
            const std::string more = read_some(fd, 1, 10000);
            if (more.empty()) return;
            got += more;
            head_end = got.find("\r\n\r\n");
        }
        const std::size_t total = head_end + 4 + content_length(got.substr(0, head_end + 2));
        if (got.size() < total) got += read_some(fd, total - got.size());
        {
            std::lock_guard guard(lock_);
            requests_.push_back(got);
        }
        send_text(fd, std::string(kOriginReply));
    }

    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    LoopbackServer server_;  // last: its threads use the members above
};

struct CurlResult {
    int status = -1;
    std::string body;
    std::string errors;
};

// Runs curl with `args` after the options every call shares: no proxy from the environment,
// a fixed user agent and a time limit.
CurlResult curl(const std::vector<std::string>& args, const std::string& dir) {
    static int calls = 0;
    std::vector<std::string> argv = {"curl",       "-sS", "--noproxy", "",
                                     "--max-time", "20",  "-A",        "zk-test"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess process(argv, dir, "curl" + std::to_string(++calls));
    CurlResult result;
    result.status = process.wait(30s);
    result.body = process.out();
    result.errors = process.err();
    return result;
}

std::string proxy_address(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

std::string origin_url(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

PortMapping proxy_mapping(const std::string& name, int listen_port) {
    PortMapping m =
        relay_mapping("TCP", name, listen_port, std::string(kHttpProxyPlaceholder).c_str(), 0);
    m.http_proxy = "Y";
    return m;
}

class HttpProxy : public RelayTest {
protected:
    void SetUp() override { ASSERT_TRUE(have_tool("curl")) << "curl is needed"; }

    // Starts an HTTP-proxy mapping and returns its port.
    int start_proxy(const std::string& name) {
        const int port = free_port();
        start(proxy_mapping(name, port));
        return port;
    }
};

TEST_F(HttpProxy, AbsoluteGetReachesTheOriginRewritten) {
    RecordingServer origin;
    const int proxy = start_proxy("proxy-get");
    const CurlResult r =
        curl({"-x", proxy_address(proxy), origin_url(origin.port(), "/a/b.html?x=1")}, home.dir());
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.body, "origin");
    EXPECT_EQ(origin.first_request(),
              "GET /a/b.html?x=1 HTTP/1.0\r\nConnection: close\r\nHost: 127.0.0.1:" +
                  std::to_string(origin.port()) + "\r\nUser-Agent: zk-test\r\nAccept: */*\r\n\r\n");
}

TEST_F(HttpProxy, ConnectionHeadersAreReplacedAndOtherLinesPassInOrder) {
    RecordingServer origin;
    const int proxy = start_proxy("proxy-headers");
    const int fd = connect_to("127.0.0.1", proxy);
    ASSERT_GE(fd, 0);
    send_text(fd, "GET " + origin_url(origin.port(), "/raw") +
                      " HTTP/1.1\r\nHost: h\r\nConnection: keep-alive\r\n"
                      "X-Folded: a\r\n b\r\nProxy-Connection: keep-alive\r\n"
                      "Connection: x,\r\n\ty\r\nAccept: */*\r\n\r\n");
    EXPECT_EQ(read_some(fd, 1 << 16), kOriginReply);
    EXPECT_TRUE(closed_by_peer(fd));
    ::close(fd);
    EXPECT_EQ(origin.first_request(),
              "GET /raw HTTP/1.0\r\nConnection: close\r\nHost: h\r\nX-Folded: a\r\n b\r\n"
              "Accept: */*\r\n\r\n");
}

TEST_F(HttpProxy, PostKeepsItsMethodLengthAndBody) {
    RecordingServer origin;
    const int proxy = start_proxy("proxy-post");
    std::string body(200 << 10, '\0');
    std::mt19937 generator(99);
    for (char& c : body)
        c = static_cast<char>(generator());
    write_file(home.file("body.bin"), body);
    const CurlResult r =
        curl({"-x", proxy_address(proxy), "--data-binary", "@" + home.file("body.bin"), "-H",
              "Content-Type: application/octet-stream", "-H",
              "Expect:", origin_url(origin.port(), "/submit")},
             home.dir());
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.body, "origin");
    const std::string got = origin.first_request();
    const std::size_t head_end = got.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos) << got.substr(0, 200);
    const std::string head = got.substr(0, head_end + 4);
    EXPECT_EQ(head.rfind("POST /submit HTTP/1.0\r\nConnection: close\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_EQ(head.find("Proxy-Connection"), std::string::npos) << head;
    EXPECT_TRUE(got.substr(head_end + 4) == body) << "body of " << got.size() - head_end - 4;
}

TEST_F(HttpProxy, ConnectAnswersThenPassesTunnelBytesSentWithTheHead) {
    LoopbackServer echo_server("127.0.0.1", echo);
    const int proxy = start_proxy("proxy-connect");
    const int fd = connect_to("127.0.0.1", proxy);
    ASSERT_GE(fd, 0);
    // The head and the first tunnel bytes in one write: the head is read exactly to its end.
    const std::string target = proxy_address(echo_server.port());
    send_text(fd, "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                      "\r\nUser-Agent: raw\r\n\r\nfirst tunnel bytes");
    const std::string expected = std::string(kTunnelReply) + "first tunnel bytes";
    EXPECT_EQ(read_some(fd, expected.size()), expected);
    send_text(fd, "and more");
    EXPECT_EQ(read_some(fd, 8), "and more");
    ::close(fd);
}

// Bytes the far end of the loopback connection `fd` has not read yet (its receive queue, from
// the kernel's table); -1 when the connection is not listed.
long unread_by_peer(int fd) {
    sockaddr_in mine{}, theirs{};
    socklen_t size = sizeof mine;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &size);
    size = sizeof theirs;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &size);
    const auto entry = [](const sockaddr_in& a) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X:%04X", a.sin_addr.s_addr, ntohs(a.sin_port));
        return std::string(text);
    };
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (local == entry(theirs) && remote == entry(mine)) {
            return std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        }
    }
    return -1;
}

// Every split of a request into two writes, the second sent only once the proxy has taken
// all of the first: lines cut anywhere, the empty line cut from its line end, the first body
// or tunnel bytes behind the head. The proxy must take the head exactly to its end.
TEST_F(HttpProxy, HeadsSplitAtEveryByteAreReadExactly) {
    RecordingServer origin;
    LoopbackServer echo_server("127.0.0.1", echo);
    const int proxy = start_proxy("proxy-split");
    const auto send_split = [&](const std::string& text, std::size_t at) {
        const int fd = connect_to("127.0.0.1", proxy);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        send_text(fd, text.substr(0, at));
        EXPECT_TRUE(wait_for([&] { return unread_by_peer(fd) == 0; })) << "split at " << at;
        send_text(fd, text.substr(at));
        return fd;
    };

    const std::string post = "POST " + origin_url(origin.port(), "/split") +
                             " HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n"
                             "Proxy-Connection: x\r\n\r\nbody";
    const std::string arrives =
        "POST /split HTTP/1.0\r\nConnection: close\r\nHost: h\r\nContent-Length: 4\r\n\r\nbody";
    for (std::size_t at = 1; at < post.size(); ++at) {
        const int fd = send_split(post, at);
        EXPECT_EQ(read_some(fd, 1 << 16), kOriginReply) << "split at " << at;
        ::close(fd);
        ASSERT_TRUE(wait_for([&] { return origin.requests().size() == at; }));
        EXPECT_EQ(origin.requests().back(), arrives) << "split at " << at;
    }

    const std::string connect =
        "CONNECT " + proxy_address(echo_server.port()) + " HTTP/1.1\r\nHost: h\r\n\ntunnel";
    const std::string answer = std::string(kTunnelReply) + "tunnel";
    for (std::size_t at = 1; at < connect.size(); ++at) {
        const int fd = send_split(connect, at);
        EXPECT_EQ(read_some(fd, answer.size()), answer) << "split at " << at;
        ::close(fd);
    }
}

TEST_F(HttpProxy, CurlReachesTlsOriginThroughConnect) {
    ASSERT_TRUE(have_tool("openssl"));
    const TestCertificates& certs = test_certificates();
    const int tls_port = free_port();
    ChildProcess origin({"openssl", "s_server", "-accept", proxy_address(tls_port), "-cert",
                         certs.first.certificate, "-key", certs.first.key, "-www"},
                        home.dir(), "s_server");
    ASSERT_TRUE(wait_for([&] { return local_port_listening(tls_port); })) << origin.err();
    const int proxy = start_proxy("proxy-tls-origin");
    const CurlResult r = curl({"-k", "-p", "-x", proxy_address(proxy),
                               "https://127.0.0.1:" + std::to_string(tls_port) + "/"},
                              home.dir());
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.body.find("s_server"), std::string::npos) << r.body;
}

TEST_F(HttpProxy, ConnectWithoutPortGoesToPort80) {
    // Port 80 of an address of our own on loopback; not every machine lets a test have it.
    LoopbackServer echo_server("127.0.0.83", 80, echo);
    if (echo_server.port() != 80) GTEST_SKIP() << "cannot listen on 127.0.0.83:80 here";
    const int proxy = start_proxy("proxy-port-80");
    const int fd = connect_to("127.0.0.1", proxy);
    ASSERT_GE(fd, 0);
    send_text(fd, "CONNECT 127.0.0.83 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(read_some(fd, kTunnelReply.size()), kTunnelReply);
    send_text(fd, "ping");
    EXPECT_EQ(read_some(fd, 4), "ping");
    ::close(fd);
}

TEST_F(HttpProxy, RequestsItCannotServeCloseTheSessionWithoutAReply) {
    RecordingServer origin;
    const int proxy = start_proxy("proxy-refuse");
    const std::string origin_port = std::to_string(origin.port());
    const std::string rows[] = {
        "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:" + origin_port + "\r\n\r\n",
        "GET http:///x HTTP/1.1\r\n\r\n",
        "GET http://127.0.0.1:99999/ HTTP/1.1\r\n\r\n",
        "GET http://127.0.0.1:0x50/ HTTP/1.1\r\n\r\n",
        "CONNECT 127.0.0.1:" + origin_port + "0000 HTTP/1.1\r\n\r\n",
        "CONNECT :" + origin_port + " HTTP/1.1\r\n\r\n",
        "GET http://127.0.0.1:" + origin_port + "/" + std::string(20000, 'x'),  // no line end
        std::string("\x16\x03\x01\x00\x05hello\r\n", 12),
        "\r\n",
    };
    for (const std::string& row : rows) {
        SCOPED_TRACE(row.substr(0, 60));
        const int fd = connect_to("127.0.0.1", proxy);
        ASSERT_GE(fd, 0);
        send_text(fd, row);
        EXPECT_EQ(read_some(fd, 1, 5000), "");
        EXPECT_TRUE(closed_by_peer(fd, 100));
        ::close(fd);
    }
    EXPECT_TRUE(origin.requests().empty());
    // And the mapping still serves a request it can.
    const CurlResult r =
        curl({"-x", proxy_address(proxy), origin_url(origin.port(), "/after")}, home.dir());
    EXPECT_EQ(r.body, "origin") << r.errors;
}

TEST_F(HttpProxy, UpstreamChainingFollowsTheSettingAndPassesBytesUnchanged) {
    RecordingServer origin;
    RecordingServer upstream;  // stands for the system's proxy: records what reaches it
    // What curl sends to a proxy it talks to directly is what must reach the upstream proxy.
    const std::string url = origin_url(origin.port(), "/chained");
    ASSERT_EQ(curl({"-x", proxy_address(upstream.port()), url}, home.dir()).body, "origin");
    const std::string sent_by_curl = upstream.first_request();

    struct Row {
        bool use_system_proxy;
        std::string http_proxy;  // environment seen at listener start; empty: not set
        bool chained;
    } rows[] = {
        {true, "http://127.0.0.1:" + std::to_string(upstream.port()) + "/", true},
        {true, "", false},
        {false, "http://127.0.0.1:" + std::to_string(upstream.port()) + "/", false},
        {true, "http://127.0.0.1:notaport/", false},
    };
    make_engine();
    int n = 0;
    for (const Row& row : rows) {
        const std::string name = "proxy-upstream-" + std::to_string(++n);
        SCOPED_TRACE(name + " use_system_proxy " + std::to_string(row.use_system_proxy) +
                     " http_proxy " + row.http_proxy);
        engine->set_use_system_proxy(row.use_system_proxy);
        engine->set_environment([value = row.http_proxy](const char* variable) {
            return value.empty() || std::string(variable) != "http_proxy"
                       ? std::nullopt
                       : std::optional<std::string>(value);
        });
        const std::size_t upstream_before = upstream.requests().size();
        const std::size_t origin_before = origin.requests().size();
        const int proxy = start_proxy(name);
        EXPECT_EQ(curl({"-x", proxy_address(proxy), url}, home.dir()).body, "origin");
        if (row.chained) {
            ASSERT_TRUE(
                wait_for([&] { return upstream.requests().size() == upstream_before + 1; }));
            EXPECT_EQ(upstream.requests().back(), sent_by_curl);
            EXPECT_EQ(origin.requests().size(), origin_before);
        } else {
            ASSERT_TRUE(wait_for([&] { return origin.requests().size() == origin_before + 1; }));
            EXPECT_EQ(origin.requests().back().rfind("GET /chained HTTP/1.0\r\n", 0), 0u);
            EXPECT_EQ(upstream.requests().size(), upstream_before);
        }
    }
}

TEST_F(HttpProxy, ChainsToASecondProxy) {
    RecordingServer origin;
    // The second proxy runs in an engine of its own, which does not chain.
    RecordingEvents second_events;
    Engine second(home.dir(), second_events, fast_timings());
    const int second_port = free_port();
    second.start_mapping(proxy_mapping("second-proxy", second_port), 0);
    ASSERT_TRUE(wait_for([&] { return second_events.status("second-proxy") == "running"; }));

    make_engine();
    engine->set_use_system_proxy(true);
    engine->set_environment([second_port](const char* variable) -> std::optional<std::string> {
        if (std::string(variable) != "HTTP_PROXY") return std::nullopt;
        return "localhost:" + std::to_string(second_port);  // a name: looked up at start
    });
    const int proxy = start_proxy("first-proxy");
    const CurlResult r =
        curl({"-x", proxy_address(proxy), origin_url(origin.port(), "/two")}, home.dir());
    EXPECT_EQ(r.body, "origin") << r.errors;
    EXPECT_EQ(origin.first_request().rfind("GET /two HTTP/1.0\r\nConnection: close\r\n", 0), 0u);
    EXPECT_TRUE(wait_log("port mapping[first-proxy],session of from"));
    EXPECT_TRUE(wait_log("port mapping[second-proxy],session of from"));
}

TEST_F(HttpProxy, ServerModeProxyReadsTheRequestThroughTls) {
    ASSERT_TRUE(have_tool("openssl"));
    const TestCertificates& certs = test_certificates();
    RecordingServer origin;
    const int proxy = free_port();
    start(with_tls(proxy_mapping("proxy-over-tls", proxy), "server", certs.first));
    const CurlResult r = curl({"--proxy-insecure", "-x", "https://" + proxy_address(proxy),
                               origin_url(origin.port(), "/secure")},
                              home.dir());
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.body, "origin");
    EXPECT_EQ(origin.first_request().rfind("GET /secure HTTP/1.0\r\nConnection: close\r\n", 0), 0u);
}

TEST_F(HttpProxy, ClientModeProxyEncryptsTowardsTheRequestedHost) {
    ASSERT_TRUE(have_tool("openssl"));
    const TestCertificates& certs = test_certificates();
    RecordingServer origin;
    // The requested host is the server end of a tunnel in front of the origin.
    const int tunnel_end = free_port();
    start(with_tls(relay_mapping("TCP", "tunnel-end", tunnel_end, "127.0.0.1", origin.port()),
                   "server", certs.second));
    const int proxy = free_port();
    start(with_tls(proxy_mapping("proxy-encrypting", proxy), "client", certs.first));
    const CurlResult r =
        curl({"-x", proxy_address(proxy), origin_url(tunnel_end, "/inside")}, home.dir());
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.body, "origin");
    EXPECT_EQ(origin.first_request(),
              "GET /inside HTTP/1.0\r\nConnection: close\r\nHost: 127.0.0.1:" +
                  std::to_string(tunnel_end) + "\r\nUser-Agent: zk-test\r\nAccept: */*\r\n\r\n");
}

}  // namespace
}  // namespace zk
