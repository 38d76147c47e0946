// TLS tunnel mappings with real peers on loopback: openssl s_client and s_server, stunnel, and
// a client-mode mapping paired with a server-mode one; peers verified against a root certificate;
// context failures; handshakes that fail or stall.

#include <poll.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "relay_fixture.h"
#include "support/random_bytes.h"
#include "tool_peers.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

PortMapping tls_mapping(const std::string& name, int listen_port, int destination_port,
                        const char* role, const CertificatePair& pair) {
    return with_tls(relay_mapping("TCP", name, listen_port, "127.0.0.1", destination_port), role,
                    pair);
}

// Reads and drops whatever arrives (a TLS alert, say) until the peer closes; false when it is
// still open after `limit`.
bool drained_until_closed(int fd, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return true;
    }
    return false;
}

// A small authority made by the same script as the pairs: its root, a server and a client
// certificate it signed, and a stranger's certificate signed by an unrelated root.
struct TestAuthority {
    std::string root;
    CertificatePair server;
    CertificatePair client;
    CertificatePair stranger;
};

const TestAuthority& test_authority() {
    static const TestAuthority authority = [] {
        test_certificates();  // makes the directory when this binary runs on its own
        const std::string dir = ZK_TEST_CERTIFICATES "/";
        const auto pair = [&](const char* tag) {
            return CertificatePair{dir + tag + ".crt", dir + tag + ".key"};
        };
        return TestAuthority{dir + "root.crt", pair("server"), pair("client"), pair("stranger")};
    }();
    return authority;
}

// The lines of `log` that contain `text`.
std::vector<std::string> lines_with(const std::string& log, const std::string& text) {
    std::vector<std::string> found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Sends `data` and reads as many bytes back.
std::string round_trip(int fd, const std::string& data) {
    std::thread writer([&] { send_text(fd, data); });
    std::string back = read_some(fd, data.size(), 10000);
    writer.join();
    return back;
}

class SslTunnel : public RelayTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(have_tool("openssl")) << "openssl is needed (scripts/bootstrap.sh)";
        ASSERT_FALSE(certs.first.certificate.empty()) << "openssl could not make a certificate";
    }

    EngineTimings timings_with_handshake_limit(std::chrono::milliseconds limit) {
        EngineTimings t = fast_timings();
        t.handshake_wait_us = std::chrono::microseconds(limit).count();
        return t;
    }

    const TestCertificates& certs = test_certificates();
};

TEST_F(SslTunnel, OpensslClientThroughServerModeReachesPlainEcho) {
    LoopbackServer echo_server("127.0.0.1", echo);
    const int port = free_port();
    start(tls_mapping("tls-server", port, echo_server.port(), "server", certs.first));

    ChildProcess client(
        {"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(port), "-quiet"},
        home.dir(), "s_client", "hello through the tunnel\n");
    ASSERT_TRUE(client.started());
    EXPECT_TRUE(wait_for([&] {
        return client.out().find("hello through the tunnel") != std::string::npos;
    })) << "s_client printed: "
        << client.out() << client.err();
    EXPECT_EQ(echo_server.connections(), 1);
}

TEST_F(SslTunnel, ClientModeTalksToOpensslServer) {
    const int server_port = free_port();
    ChildProcess server(
        {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(server_port), "-cert",
         certs.second.certificate, "-key", certs.second.key, "-rev"},
        home.dir(), "s_server");
    ASSERT_TRUE(wait_for([&] { return local_port_listening(server_port); }))
        << "s_server did not listen: " << server.err();
    const int port = free_port();
    start(tls_mapping("tls-client", port, server_port, "client", certs.first));

    const int fd = connect_to("127.0.0.1", port);
    ASSERT_GE(fd, 0);
    send_text(fd, "tunnel\n");
    EXPECT_EQ(read_some(fd, 7), "lennut\n");  // s_server -rev answers each line reversed
    ::close(fd);
}

TEST_F(SslTunnel, ClientAndServerMappingsCarryFourMiBAndCountTheSamePlainBytes) {
    LoopbackServer echo_server("127.0.0.1", echo);
    const int server_port = free_port();
    const int client_port = free_port();
    start(tls_mapping("tunnel-server", server_port, echo_server.port(), "server", certs.first));
    start(tls_mapping("tunnel-client", client_port, server_port, "client", certs.second));

    const std::string data = random_bytes(4 << 20);
    const int fd = connect_to("127.0.0.1", client_port);
    ASSERT_GE(fd, 0);
    const std::string back = round_trip(fd, data);
    EXPECT_TRUE(back == data) << "received " << back.size() << " bytes, some differ";

    const auto counted = [&](const char* name) {
        for (const SessionView& v : engine->sessions()) {
            if (v.mapping_name == name) return std::make_pair(v.outgoing_bytes, v.incoming_bytes);
        }
        return std::make_pair(std::uint64_t{0}, std::uint64_t{0});
    };
    const auto both = std::make_pair(std::uint64_t{data.size()}, std::uint64_t{data.size()});
    EXPECT_TRUE(wait_for([&] { return counted("tunnel-client") == both; }))
        << counted("tunnel-client").first << " out, " << counted("tunnel-client").second << " in";
    EXPECT_TRUE(wait_for([&] { return counted("tunnel-server") == both; }))
        << counted("tunnel-server").first << " out, " << counted("tunnel-server").second << " in";
    ::close(fd);
    EXPECT_TRUE(wait_for(
        [&] { return events.count("tunnel-client") == 0 && events.count("tunnel-server") == 0; }));
}

TEST_F(SslTunnel, InteroperatesWithStunnelBothWays) {
    ASSERT_TRUE(have_tool("stunnel")) << "stunnel is needed (scripts/bootstrap.sh)";
    LoopbackServer echo_server("127.0.0.1", echo);
    const int stunnel_server = free_port();  // stunnel decrypts, then the echo
    const int stunnel_client = free_port();  // stunnel encrypts towards our server end
    const int ours_client = free_port();
    const int ours_server = free_port();
    write_file(
        home.file("stunnel.conf"),
        "foreground = yes\npid =\n"
        "[decrypt]\naccept = 127.0.0.1:" +
            std::to_string(stunnel_server) +
            "\nconnect = 127.0.0.1:" + std::to_string(echo_server.port()) +
            "\ncert = " + certs.second.certificate + "\nkey = " + certs.second.key +
            "\n[encrypt]\nclient = yes\naccept = 127.0.0.1:" + std::to_string(stunnel_client) +
            "\nconnect = 127.0.0.1:" + std::to_string(ours_server) + "\n");
    ChildProcess stunnel({"stunnel", home.file("stunnel.conf")}, home.dir(), "stunnel");
    ASSERT_TRUE(wait_for([&] {
        return local_port_listening(stunnel_server) && local_port_listening(stunnel_client);
    })) << "stunnel did not listen: "
        << stunnel.err();
    start(tls_mapping("to-stunnel", ours_client, stunnel_server, "client", certs.first));
    start(tls_mapping("from-stunnel", ours_server, echo_server.port(), "server", certs.first));

    const std::string data = random_bytes(256 << 10);
    for (const int entry : {ours_client, stunnel_client}) {
        SCOPED_TRACE(entry == ours_client ? "our client end, stunnel's server end"
                                          : "stunnel's client end, our server end");
        const int fd = connect_to("127.0.0.1", entry);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(round_trip(fd, data) == data) << "stunnel said: " << stunnel.err();
        ::close(fd);
    }
}

TEST_F(SslTunnel, BadFilesShowTheirMessageAndTheMappingDoesNotListen) {
    write_file(home.file("garbage.pem"), "this is no PEM file\n");
    const std::string missing = home.file("missing.pem");
    struct Row {
        const char* role;
        std::string certificate;
        std::string key;
        const char* message;
        std::string root = {};
    } rows[] = {
        {"server", certs.first.certificate, certs.second.key, "check private key file"},
        {"client", certs.second.certificate, certs.first.key, "check private key file"},
        {"server", missing, certs.first.key, "load certificate file"},
        {"client", home.file("garbage.pem"), certs.first.key, "load certificate file"},
        {"server", certs.first.certificate, missing, "load private key file"},
        {"client", certs.first.certificate, home.file("garbage.pem"), "load private key file"},
        {"server", certs.first.certificate, certs.first.key, "load root certificate file", missing},
        {"client", certs.first.certificate, certs.first.key, "load root certificate file",
         home.file("garbage.pem")},
    };
    make_engine();
    int n = 0;
    for (const Row& row : rows) {
        const std::string name = "bad-files-" + std::to_string(++n);
        SCOPED_TRACE(name + ": " + row.role + " " + row.certificate + " " + row.key + " " +
                     row.root);
        const int port = free_port();
        PortMapping m = tls_mapping(name, port, 9, row.role, {row.certificate, row.key});
        m.root = row.root;
        engine->start_mapping(m, 0);
        const std::string expected =
            std::string(row.message) + " for port mapping " + name + " error!";
        EXPECT_TRUE(wait_for([&] {
            const auto shown = events.messages();
            return std::find(shown.begin(), shown.end(), expected) != shown.end();
        })) << "expected the message: "
            << expected;
        EXPECT_TRUE(wait_for([&] { return events.stopped(name) == 1; }));
        EXPECT_EQ(events.status(name), "stop");
        EXPECT_FALSE(local_port_listening(port));
        EXPECT_TRUE(wait_log("port mapping[" + name + "] ssl context: error:"));
    }
    EXPECT_EQ(events.messages().size(), std::size(rows));
}

// Each row pairs a client end with a server end in front of an echo server. The client end is a
// client-mode mapping, or openssl s_client without a certificate where `client_end` is null; the
// server end is a server-mode mapping over two listen ports, the client end going to the second.
// An end with a root accepts only a peer certificate of that root; a refusal is one line from the
// refusing end, and the echo server never hears of the session.
TEST_F(SslTunnel, EndsWithARootAcceptOnlyPeersCertifiedByIt) {
    const TestAuthority& ca = test_authority();
    ASSERT_EQ(::access(ca.stranger.certificate.c_str(), R_OK), 0)
        << "no test authority in " ZK_TEST_CERTIFICATES ": run tests/support/make_certificates.sh";
    const std::string unknown_issuer =
        "certificate verify failed (unable to get local issuer certificate)";
    struct End {
        CertificatePair pair;
        std::string root;
    };
    struct Row {
        const char* name;
        std::optional<End> client_end;
        End server_end;
        const char* refused_by;  // "client", "server", or null when the bytes get through
        std::string reason;
    } rows[] = {
        {"both-ends-certified-by-their-root", End{ca.client, ca.root}, End{ca.server, ca.root},
         nullptr, ""},
        {"server-certified-by-another-root", End{ca.client, ca.root}, End{ca.stranger, ""},
         "client", unknown_issuer},
        {"client-certified-by-another-root", End{ca.stranger, ""}, End{ca.server, ca.root},
         "server", unknown_issuer},
        {"client-without-certificate", std::nullopt, End{ca.server, ca.root}, "server",
         "peer did not return a certificate"},
        {"no-root-at-either-end", End{certs.first, ""}, End{certs.second, ""}, nullptr, ""},
    };
    make_engine();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer echo_server("127.0.0.1", echo);
        const std::string server_name = std::string(row.name) + "-server";
        const std::string client_name = std::string(row.name) + "-client";
        const int server_port = free_port_run(2);
        PortMapping server_end = tls_mapping(server_name, server_port, echo_server.port(), "server",
                                             row.server_end.pair);
        server_end.listen_port_type = "1";
        server_end.listen_port_end = std::to_string(server_port + 1);
        server_end.root = row.server_end.root;
        start(server_end);
        ASSERT_TRUE(wait_for([&] { return local_port_listening(server_port + 1); }));

        std::vector<PortMapping> ours{server_end};
        std::unique_ptr<ChildProcess> s_client;
        int fd = -1;
        if (row.client_end) {
            const int client_port = free_port();
            PortMapping client_end = tls_mapping(client_name, client_port, server_port + 1,
                                                 "client", row.client_end->pair);
            client_end.root = row.client_end->root;
            start(client_end);
            ours.push_back(client_end);
            fd = connect_to("127.0.0.1", client_port);
            ASSERT_GE(fd, 0);
        } else {
            s_client = std::make_unique<ChildProcess>(
                std::vector<std::string>{"openssl", "s_client", "-connect",
                                         "127.0.0.1:" + std::to_string(server_port + 1), "-quiet"},
                home.dir(), "s_client", "never delivered\n");
            ASSERT_TRUE(s_client->started());
        }

        if (!row.refused_by) {
            const std::string data = random_bytes(4 << 20);
            EXPECT_TRUE(round_trip(fd, data) == data) << "the bytes did not come back unchanged";
            EXPECT_EQ(echo_server.connections(), 1);
        } else {
            const std::string refuser = std::string(row.name) + "-" + row.refused_by;
            const std::string line_start = "port mapping " + refuser + " refused an SSL peer from ";
            EXPECT_TRUE(wait_log(line_start)) << "no refusal line from " << refuser;
            if (fd >= 0) {
                send_text(fd, "never delivered\n");
                EXPECT_TRUE(drained_until_closed(fd, 30s)) << "the client end stayed open";
            }
            EXPECT_TRUE(wait_for([&] { return events.count(server_name) == 0; }));
            EXPECT_EQ(echo_server.connections(), 0) << "the destination was contacted";
            const auto refusals = lines_with(event_log(), line_start);
            ASSERT_EQ(refusals.size(), 1u) << event_log();
            const std::string peer = row.refused_by == std::string("client")
                                         ? "127.0.0.1:" + std::to_string(server_port + 1) + ": "
                                         : "127.0.0.1:";
            EXPECT_NE(refusals[0].find(line_start + peer), std::string::npos) << refusals[0];
            EXPECT_TRUE(ends_with(refusals[0], ": " + row.reason)) << refusals[0];
        }
        if (fd >= 0) ::close(fd);

        // Once every copy has ended, each has made its context: an end without a root has said
        // so exactly once, one with a root never; and only the refusing end refused.
        for (const PortMapping& m : ours)
            engine->stop_mapping(m, 0);
        ASSERT_TRUE(wait_for([&] { return engine->running_copies() == 0; }));
        const std::string log = event_log();
        for (const PortMapping& m : ours) {
            SCOPED_TRACE(m.name.str());
            const auto noted = lines_with(
                log, "port mapping " + m.name.str() +
                         ": the SSL tunnel is not authenticated: no root certificate is set, so "
                         "any peer is accepted");
            EXPECT_EQ(noted.size(), m.root.str().empty() ? 1u : 0u);
            const bool refuser =
                row.refused_by && m.name.str() == std::string(row.name) + "-" + row.refused_by;
            EXPECT_EQ(lines_with(log, "port mapping " + m.name.str() + " refused").size(),
                      refuser ? 1u : 0u);
        }
    }
}

TEST_F(SslTunnel, PlainClientAtServerModeIsClosedBeforeTheDestinationIsContacted) {
    LoopbackServer destination("127.0.0.1", echo);
    const int port = free_port();
    start(tls_mapping("tls-plain-client", port, destination.port(), "server", certs.first));

    const int fd = connect_to("127.0.0.1", port);
    ASSERT_GE(fd, 0);
    send_text(fd, "GET / HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(drained_until_closed(fd));
    ::close(fd);
    EXPECT_TRUE(wait_log("port mapping[tls-plain-client],session of from"));
    EXPECT_TRUE(wait_for([&] { return events.count("tls-plain-client") == 0; }));
    EXPECT_EQ(destination.connections(), 0);
}

TEST_F(SslTunnel, ClientModeFailsAgainstPlainOrSilentDestinations) {
    LoopbackServer plain("127.0.0.1", echo);  // echoes our hello back: no TLS server
    LoopbackServer silent("127.0.0.1", [](int fd) { read_some(fd, 1 << 20, 10000); });
    make_engine(timings_with_handshake_limit(1s));
    for (LoopbackServer* destination : {&plain, &silent}) {
        const std::string name = destination == &plain ? "to-plain" : "to-silent";
        SCOPED_TRACE(name);
        const int port = free_port();
        start(tls_mapping(name, port, destination->port(), "client", certs.first));
        const int fd = connect_to("127.0.0.1", port);
        ASSERT_GE(fd, 0);
        send_text(fd, "never delivered\n");
        EXPECT_TRUE(drained_until_closed(fd, 10s));
        ::close(fd);
        EXPECT_TRUE(wait_for([&] { return events.count(name) == 0; }));
        EXPECT_EQ(destination->connections(), 1);
    }
}

TEST_F(SslTunnel, StalledHandshakeBlocksNoOtherMappingAndEndsAtItsLimit) {
    LoopbackServer echo_server("127.0.0.1", echo);
    // Long enough for the other mapping's whole handshake on a slow machine; the stalled one is
    // then waited for well past it.
    make_engine(timings_with_handshake_limit(10s));
    const int slow_port = free_port();
    const int other_port = free_port();
    start(tls_mapping("tls-slow", slow_port, echo_server.port(), "server", certs.first));
    start(tls_mapping("tls-other", other_port, echo_server.port(), "server", certs.first));

    // A client that starts a TLS record and never finishes it.
    const int slow = connect_to("127.0.0.1", slow_port);
    ASSERT_GE(slow, 0);
    send_text(slow, std::string("\x16\x03\x01\x00\x80", 5));
    ASSERT_TRUE(wait_for([&] { return events.count("tls-slow") == 1; }));

    ChildProcess client(
        {"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(other_port), "-quiet"},
        home.dir(), "s_client", "not held up\n");
    EXPECT_TRUE(wait_for([&] { return client.out().find("not held up") != std::string::npos; }))
        << client.err();
    // The stalled handshake was still waiting all that time, and now runs out.
    EXPECT_EQ(events.count("tls-slow"), 1);
    EXPECT_TRUE(drained_until_closed(slow, 60s));
    ::close(slow);
    EXPECT_TRUE(wait_for([&] { return events.count("tls-slow") == 0; }, 30s));
    EXPECT_EQ(echo_server.connections(), 1);  // only the other mapping's session got through
}

}  // namespace
}  // namespace zk
