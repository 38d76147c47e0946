// zelkorad driven as a user drives it: a program directory, the command line and signals.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/child_process.h"
#include "support/loopback_server.h"
#include "support/scripted_gateway.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::read_file;
using test::TempDir;
using test::write_file;

const std::string kFixture = ZK_SOURCE_DIR "/tests/unit/core/fixtures/two_mappings.xml";
// How long an exit may take on a loaded machine; a healthy daemon takes a fraction of a second.
constexpr auto kExitLimit = 60s;

// The fixture with the ports a running daemon uses moved to ports this test owns: mapping A's
// listener, the web interface and the trigger's destinations (the fixture's 8080 and 6000-6002
// belong to nobody in particular).
struct OwnedFixture {
    std::string text;
    int listen_port = 0;
};

OwnedFixture owned_fixture() {
    OwnedFixture owned{read_file(kFixture), test::free_port()};
    const int trigger_base = test::free_port_run(3);
    const std::pair<std::string, std::string> moves[] = {
        {"web_listen_port=\"8080\"",
         "web_listen_port=\"" + std::to_string(test::free_port()) + "\""},
        {" listen_port=\"8080\"", " listen_port=\"" + std::to_string(owned.listen_port) + "\""},
        {"trigger_port=\"6000\" trigger_port_end=\"6002\"",
         "trigger_port=\"" + std::to_string(trigger_base) + "\" trigger_port_end=\"" +
             std::to_string(trigger_base + 2) + "\""},
    };
    for (const auto& [from, to] : moves) {
        const std::size_t at = owned.text.find(from);
        EXPECT_NE(at, std::string::npos) << "the fixture has no " << from;
        if (at != std::string::npos) owned.text.replace(at, from.size(), to);
    }
    return owned;
}

class Daemon : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(home.dir() + "log"); }
    std::string config() const { return home.file("config.xml"); }
    TempDir home;
    TempDir output;
};

TEST_F(Daemon, ExitSignalsRewriteTheCanonicalFileByteForByte) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const OwnedFixture fixture = owned_fixture();
        write_file(config(), fixture.text);
        ChildProcess daemon({ZELKORAD, "--home", home.dir()}, output.dir());
        ASSERT_TRUE(daemon.started());
        ASSERT_TRUE(test::wait_for(
            [&] { return daemon.out().find("trigger [T]") != std::string::npos; }, 5s));
        std::filesystem::remove(config());  // proves the exit path writes it anew
        daemon.signal(signal);
        EXPECT_EQ(daemon.wait(kExitLimit), 0) << "signal " << signal;
        EXPECT_EQ(read_file(config()), fixture.text) << "signal " << signal;
        // A is started automatically: whether its listener is up yet when the line is printed
        // is a race, so the status is not checked here.
        EXPECT_NE(daemon.out().find("mapping [A] TCP " + std::to_string(fixture.listen_port) +
                                    " -> 127.0.0.1:80, "),
                  std::string::npos)
            << daemon.out();
        EXPECT_NE(
            daemon.out().find("mapping [B] UDP 5000-5002 -> smart route by client address, stop\n"),
            std::string::npos)
            << daemon.out();
    }
}

TEST_F(Daemon, CheckListsTheNineColumnsAndEachTrigger) {
    write_file(config(), read_file(kFixture));
    ChildProcess check({ZELKORAD, "--home", home.dir(), "--check"}, output.dir());
    ASSERT_EQ(check.wait(5s), 0) << check.err();
    const std::string out = check.out();
    for (const char* expected :
         {"Name  Type  Status  Sessions  Max Sessions  Listen Port  Destination IP",
          "B     UDP   stop    0         10            5000-5002    enable smart route",
          "trigger [T] TCP,UDP to 127.0.0.1 port 6000-6002 every 1000 ms, stop, auto start"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n---\n" << out;
    }
}

TEST_F(Daemon, InvalidFileFailsTheCheckAndIsKeptAtExit) {
    write_file(config(), "<mappings><mapping name=");
    ChildProcess check({ZELKORAD, "--home", home.dir(), "--check"}, output.dir());
    EXPECT_EQ(check.wait(5s), 1);
    EXPECT_NE(check.err().find("invalid config file!"), std::string::npos);

    ChildProcess daemon({ZELKORAD, "--home", home.dir()}, output.dir());
    ASSERT_TRUE(
        test::wait_for([&] { return !read_file(home.file("log/zk-gate.log")).empty(); }, 5s));
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(kExitLimit), 0);
    EXPECT_EQ(read_file(config() + ".invalid"), "<mappings><mapping name=");
    EXPECT_NE(read_file(home.file("log/zk-gate.log")).find(">:invalid config file!\n"),
              std::string::npos);
}

TEST_F(Daemon, SecondCopyOnTheSameDirectoryIsRefused) {
    write_file(config(), owned_fixture().text);
    ChildProcess first({ZELKORAD, "--home", home.dir()}, output.dir());
    ASSERT_TRUE(test::wait_for([&] { return !first.out().empty(); }, 5s));
    TempDir other_output;
    ChildProcess second({ZELKORAD, "--home", home.dir()}, other_output.dir());
    EXPECT_EQ(second.wait(5s), 1);
    EXPECT_NE(second.err().find("another copy is running"), std::string::npos);
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(kExitLimit), 0);
}

TEST_F(Daemon, RouterCommandPrintsTheGatewaysAddressAndForwardings) {
    test::GatewayScript script;
    script.description = test::description_xml("", std::string(kServiceWanIp), "/ctl/IPConn");
    script.external_address_reply =
        test::soap_reply({"s:", "u:", ""}, "GetExternalIPAddressResponse",
                         "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>");
    script.entry_replies = {
        test::soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                         test::entry_fields("8080", "TCP", "80", "192.168.1.10", "web"))};
    test::ScriptedGateway gateway(script);
    const std::string search = "127.0.0.1:" + std::to_string(gateway.options().search_port);
    ChildProcess router({ZELKORAD, "--router", "--gateway-search", search}, output.dir());
    EXPECT_EQ(router.wait(30s), 0) << router.err();
    EXPECT_EQ(router.out(), "203.0.113.7\n8080/TCP[web]-->192.168.1.10:80\n");
}

TEST_F(Daemon, GatewaySearchTakesOnlyAnIpv4AddressAndPort) {
    // Each is refused at once: a name is never looked up and no search goes out.
    const char* const refused[] = {"nowhere",         "localhost:1900",  "gateway.lan:1900",
                                   "127.0.0.1",       "127.0.0.1:",      "127.0.0.1:0",
                                   "127.0.0.1:65536", "127.0.0.1:1900x", "127.0.0.1:+1900",
                                   "127.1:1900",      "[::1]:1900",      ":1900"};
    for (const char* search : refused) {
        ChildProcess p({ZELKORAD, "--router", "--gateway-search", search}, output.dir());
        EXPECT_EQ(p.wait(5s), 2) << search;
        EXPECT_NE(p.err().find("--gateway-search needs an IPv4 address and a port, such as "
                               "127.0.0.1:1900, not \"" +
                               std::string(search) + "\""),
                  std::string::npos)
            << search << ": " << p.err();
    }
    ChildProcess missing({ZELKORAD, "--router", "--gateway-search"}, output.dir());
    EXPECT_EQ(missing.wait(5s), 2);
    EXPECT_NE(missing.err().find("--gateway-search needs an IPv4 address and a port"),
              std::string::npos)
        << missing.err();
}

TEST_F(Daemon, UsageErrorsAndInformation) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* text;
    };
    const Case cases[] = {{{"--help"}, 0, "Usage: zelkorad"},
                          {{"--version"}, 0, "zelkorad "},
                          {{"--bogus"}, 2, "unknown option: --bogus"},
                          {{"--home"}, 2, "--home needs a directory"}};
    for (const Case& c : cases) {
        std::vector<std::string> argv{ZELKORAD};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess p(argv, output.dir());
        EXPECT_EQ(p.wait(5s), c.status) << c.args[0];
        EXPECT_NE((p.out() + p.err()).find(c.text), std::string::npos) << c.args[0];
    }
}

}  // namespace
}  // namespace zk
