// A tunnel built from nothing but what the certificate tool makes: a root, and a key, request and
// signed certificate for each end. The pair carries data; an end certified by another root is
// refused.

#include <thread>

#include "platform/certificate_commands.h"
#include "platform/program_setup.h"
#include "relay_fixture.h"
#include "support/random_bytes.h"
#include "tool_peers.h"

namespace zk {
namespace {

using namespace test;

class CertificateTunnel : public RelayTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(have_tool("openssl")) << "openssl is needed (scripts/bootstrap.sh)";
        ASSERT_EQ(prepare_program_directory(tool.dir(), ZK_PROGRAM_DIR "/"), std::nullopt);
        for (const char* root : {"ca", "other"}) {
            const CertificateOutcome made = create_root_certificate(tool.dir(), root);
            ASSERT_TRUE(made.succeeded) << made.command_line << "\n" << made.output;
        }
    }

    // Key, request and certificate named `name`, signed by the root `root`.
    CertificatePair leaf(const std::string& name, CertificateRole role, const std::string& root) {
        const CertificatePair pair{tool.file(name + ".cer"), tool.file(name + ".pem")};
        const std::string csr = tool.file(name + ".csr");
        for (const CertificateOutcome& step :
             {create_private_key(tool.dir(), pair.key),
              create_request(tool.dir(), role, pair.key, csr),
              sign_certificate(tool.dir(), csr, pair.certificate,
                               root_certificate_path(tool.dir(), root),
                               root_key_path(tool.dir(), root))}) {
            EXPECT_TRUE(step.succeeded) << step.command_line << "\n" << step.output;
        }
        return pair;
    }

    // One end of the tunnel with `pair`, accepting only peers certified by the root "ca".
    PortMapping tunnel_end(const std::string& name, int listen_port, int destination_port,
                           const char* role, const CertificatePair& pair) {
        PortMapping m = with_tls(
            relay_mapping("TCP", name, listen_port, "127.0.0.1", destination_port), role, pair);
        m.root = root_certificate_path(tool.dir(), "ca");
        return m;
    }

    TempDir tool;  // the program directory the certificate commands run in
};

TEST_F(CertificateTunnel, CarriesDataOnlyBetweenEndsOfTheSameRoot) {
    const CertificatePair server = leaf("server", CertificateRole::server, "ca");
    const CertificatePair client = leaf("client", CertificateRole::client, "ca");
    const CertificatePair stranger = leaf("stranger", CertificateRole::server, "other");
    LoopbackServer echo_server("127.0.0.1", echo);

    // Both ends certified by "ca": the bytes come back unchanged.
    const int server_port = free_port();
    const int client_port = free_port();
    start(tunnel_end("ca-server", server_port, echo_server.port(), "server", server));
    start(tunnel_end("ca-client", client_port, server_port, "client", client));
    const std::string data = random_bytes(4 << 20);
    const int fd = connect_to("127.0.0.1", client_port);
    ASSERT_GE(fd, 0);
    std::thread writer([&] { send_text(fd, data); });
    const std::string back = read_some(fd, data.size(), 10000);
    writer.join();
    ::close(fd);
    EXPECT_TRUE(back == data) << "received " << back.size() << " bytes, some differ";
    EXPECT_EQ(echo_server.connections(), 1);

    // The server end's certificate comes from "other": the client end refuses it, nothing
    // reaches the destination and the client is closed without a byte.
    const int stranger_port = free_port();
    const int refusing_port = free_port();
    start(tunnel_end("other-server", stranger_port, echo_server.port(), "server", stranger));
    start(tunnel_end("refusing-client", refusing_port, stranger_port, "client", client));
    const int refused = connect_to("127.0.0.1", refusing_port);
    ASSERT_GE(refused, 0);
    send_text(refused, "never delivered\n");
    EXPECT_TRUE(closed_by_peer(refused, 30000)) << "the client end stayed open or answered";
    ::close(refused);
    EXPECT_TRUE(wait_log("port mapping refusing-client refused an SSL peer from 127.0.0.1:" +
                         std::to_string(stranger_port) + ": "))
        << event_log();
    EXPECT_EQ(echo_server.connections(), 1) << "the destination was contacted";
}

}  // namespace
}  // namespace zk
