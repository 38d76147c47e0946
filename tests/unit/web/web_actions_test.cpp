// The web actions on the wire, through the app model and the real engine on loopback.

#include <mutex>

#include "support/loopback_server.h"
#include "web_fixture.h"

namespace zk {
namespace {

using test::split_reply;

class WebActions : public test::WebFixture {
protected:
    std::string body_of(const std::string& reply) { return split_reply(reply).body; }
    std::string status_of(int row) { return snapshot().rows.at(row)[2]; }
};

TEST_F(WebActions, AddingAnExistingNameChangesNothing) {
    start();
    log_in();
    const std::string body =
        "port.name=web1&port.type=1&port.listen_port=5000&"
        "port.listen_port_single=0&port.d_ip=127.0.0.1&port.d_port=5001";
    EXPECT_NE(post("/?action=newdone&sessionid=424242", body).find("successfully added"),
              std::string::npos);
    const MappingTable before = snapshot().mappings;
    EXPECT_EQ(body_of(post("/?action=newdone&sessionid=424242",
                           "port.name=web1&port.type=0&port.listen_port=6000")),
              "port mapping web1 has already exist, click <a "
              "href=\"/?action=add&sessionid=424242\">here</a> to add another.");
    EXPECT_EQ(snapshot().mappings, before);
    // The listed row, as the main list shows it.
    const ListRow row = snapshot().rows[0];
    EXPECT_EQ(row,
              (ListRow{"web1", "UDP", "stop", "0", "unlimited", "5000", "127.0.0.1", "5001", "N"}));
}

TEST_F(WebActions, InputTheMappingDialogRefusesIsRefusedHere) {
    start();
    log_in();
    const std::string reply = post("/?action=newdone&sessionid=424242",
                                   "port.name=r&port.listen_port=8010&port.listen_port_end=8000&"
                                   "port.listen_port_range=1&port.d_ip=h&port.d_port=1");
    EXPECT_NE(body_of(reply).find("the end range of listen port must larger than the start range "
                                  "of listen port, please reenter again!"),
              std::string::npos)
        << reply;
    EXPECT_TRUE(snapshot().mappings.empty());
    EXPECT_NE(
        body_of(post("/?action=newdone&sessionid=424242", "port.name=" + std::string(300, 'n')))
            .find("invalid name, please reenter again!"),
        std::string::npos);
}

TEST_F(WebActions, UpdateReplacesTheRecordAndClearsWhatTheFormDoesNotCarry) {
    PortMapping ssl = test::tcp_mapping("a b", 8000, 80);
    ssl.ssl_enable = "Y";
    ssl.ssl_type = "server";
    ssl.server_cer = "/etc/x.pem";
    ssl.enable_log = "1";
    ssl.log_file = "/tmp/x.log";
    mappings = {test::tcp_mapping("first", 7000, 70), ssl};
    start();
    log_in();
    const std::string reply =
        post("/?name=a+b&action=updatedone&sessionid=424242",
             "port.name=a+b&port.type=0&port.listen_port=8100&port.listen_port_single=0&"
             "port.d_ip=127.0.0.2&port.d_port=81&port.d_port_single=0&port.autostartup=on");
    EXPECT_NE(reply.find("You have successfully edited port mapping a b."), std::string::npos);
    const ModelSnapshot s = snapshot();
    ASSERT_EQ(s.mappings.size(), 2u);
    const PortMapping& m = s.mappings[1];
    EXPECT_EQ(m.name, "a b");
    EXPECT_EQ(m.listen_port, "8100");
    EXPECT_EQ(m.destination_ip, "127.0.0.2");
    EXPECT_EQ(m.auto_start, "Y");
    EXPECT_EQ(m.ssl_enable, "");
    EXPECT_EQ(m.server_cer, "");
    EXPECT_EQ(m.enable_log, "0");
    EXPECT_EQ(m.log_file, "");
    EXPECT_EQ(s.mappings[0], mappings[0]);
    EXPECT_EQ(post("/?name=ghost&action=updatedone&sessionid=424242", "port.name=ghost"), "");
}

TEST_F(WebActions, DeleteKeepsTheOrderOfTheOthers) {
    mappings = {test::tcp_mapping("one", 7001, 1), test::tcp_mapping("two", 7002, 2),
                test::tcp_mapping("three", 7003, 3)};
    start();
    log_in();
    EXPECT_EQ(body_of(get("/?name=two&action=delete&sessionid=424242")),
              "You have successfully deleted port mapping two. Click <a "
              "href=\"/?action=browse&sessionid=424242\">Home</a>");
    const ModelSnapshot s = snapshot();
    ASSERT_EQ(s.mappings.size(), 2u);
    EXPECT_EQ(cell(s.rows[0], ListColumn::name), "one");
    EXPECT_EQ(cell(s.rows[1], ListColumn::name), "three");
    EXPECT_EQ(get("/?name=two&action=delete&sessionid=424242"), "");
}

TEST_F(WebActions, StartAndStopGoThroughTheModelAndRefuseChangesWhileRunning) {
    test::LoopbackServer echo("127.0.0.1", test::echo);
    const int listen_port = test::free_port();
    mappings = {test::tcp_mapping("relay", listen_port, echo.port())};
    std::mutex lock;
    std::vector<std::string> calls;
    WebServerOptions options;
    options.hooks.begin = [&](int row) {
        std::lock_guard guard(lock);
        calls.push_back("begin " + std::to_string(row));
    };
    options.hooks.end = [&](int row) {
        std::lock_guard guard(lock);
        calls.push_back("end " + std::to_string(row));
    };
    start(std::move(options));
    log_in();

    EXPECT_NE(get("/?name=relay&action=start&sessionid=424242")
                  .find("You have successfully started port mapping relay."),
              std::string::npos);
    ASSERT_TRUE(test::wait_for([&] { return status_of(0) == "running"; }));
    test::ScopedFd client(test::connect_to("127.0.0.1", listen_port));
    ASSERT_GT(client.get(), 0);
    ASSERT_TRUE(test::send_text(client.get(), "ping"));
    EXPECT_EQ(test::read_some(client.get(), 4), "ping");
    client.reset();

    const std::string browse = get("/?action=browse&sessionid=424242");
    EXPECT_NE(browse.find("/?name=relay&amp;action=stop&amp;sessionid=424242\">Stop/</a>"),
              std::string::npos);
    EXPECT_NE(body_of(get("/?name=relay&action=edit&sessionid=424242"))
                  .find("Please stop port mapping relay before you edit it."),
              std::string::npos);
    EXPECT_NE(body_of(get("/?name=relay&action=delete&sessionid=424242"))
                  .find("Please stop port mapping relay before you delete it."),
              std::string::npos);
    EXPECT_NE(body_of(post("/?name=relay&action=updatedone&sessionid=424242",
                           "port.name=relay&port.listen_port=1"))
                  .find("before you edit it"),
              std::string::npos);
    // Start of a running mapping: nothing changes, the message still comes.
    EXPECT_NE(get("/?name=relay&action=start&sessionid=424242").find("successfully started"),
              std::string::npos);
    EXPECT_EQ(snapshot().mappings.size(), 1u);

    EXPECT_NE(get("/?name=relay&action=stop&sessionid=424242")
                  .find("You have successfully stopped port mapping relay."),
              std::string::npos);
    EXPECT_EQ(status_of(0), "stop");
    EXPECT_NE(get("/?name=relay&action=stop&sessionid=424242").find("successfully stopped"),
              std::string::npos);
    std::lock_guard guard(lock);
    EXPECT_EQ(calls, (std::vector<std::string>{"begin 0", "end 0", "begin 0", "end 0"}));
}

}  // namespace
}  // namespace zk
