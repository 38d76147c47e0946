// The TCP relay with real sockets on loopback: data, port ranges, admission, routing,
// destination failures, stop, and what it logs.

#include <regex>
#include <thread>

#include "engine/traffic.h"
#include "relay_fixture.h"
#include "support/random_bytes.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

// A server that greets every connection with `tag` and then echoes.
LoopbackServer::Handler tagged(const std::string& tag) {
    return [tag](int fd) {
        send_text(fd, tag);
        echo(fd);
    };
}

std::string greeting(const char* ip, int port, const char* from = nullptr) {
    const int fd = connect_to(ip, port, from);
    const std::string tag = read_some(fd, 1);
    ::close(fd);
    return tag;
}

class TcpRelay : public RelayTest {};

TEST_F(TcpRelay, FourMiBBothWaysArriveUnchangedAndAreCounted) {
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    start(relay_mapping("TCP", "bulk", port, "127.0.0.1", server.port()));
    const TrafficTotals before = traffic_snapshot();

    const std::string data = random_bytes(4 << 20);
    const int fd = connect_to("127.0.0.1", port);
    std::thread writer([&] { send_text(fd, data); });
    const std::string back = read_some(fd, data.size());
    writer.join();
    EXPECT_TRUE(back == data) << "received " << back.size() << " bytes, some differ";
    EXPECT_TRUE(wait_for([&] { return events.count("bulk") == 1; }));
    ::close(fd);
    EXPECT_TRUE(wait_for([&] { return events.count("bulk") == 0; })) << "count back to 0";

    const TrafficTotals after = traffic_snapshot();
    EXPECT_EQ(after.outgoing - before.outgoing, data.size());
    EXPECT_EQ(after.incoming - before.incoming, data.size());
    EXPECT_EQ(after.total - before.total, 2.0 * data.size());
}

TEST_F(TcpRelay, PortRangeGivesEachListenPortItsDestination) {
    for (const char* destination_type : {"1", "0"}) {
        SCOPED_TRACE(std::string("destination_port_type ") + destination_type);
        const int dest = free_port_run(3);
        std::vector<std::unique_ptr<LoopbackServer>> servers;
        for (int k = 0; k < 3; ++k) {
            servers.push_back(
                std::make_unique<LoopbackServer>("127.0.0.1", dest + k, tagged(std::to_string(k))));
        }
        const int listen = free_port_run(3);
        PortMapping m = relay_mapping("TCP", std::string("range") + destination_type, listen,
                                      "127.0.0.1", dest);
        m.listen_port_type = "1";
        m.listen_port_end = std::to_string(listen + 2);
        m.destination_port_type = destination_type;
        start(m);  // "running" as soon as the first copy listens: wait for the others too
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(wait_for([&] { return local_port_listening(listen + k); })) << k;
        }
        for (int k = 0; k < 3; ++k) {
            const std::string expected =
                destination_type == std::string("1") ? std::to_string(k) : "0";
            EXPECT_EQ(greeting("127.0.0.1", listen + k), expected) << "listen port +" << k;
        }
        engine->stop_mapping(m, 0);
        EXPECT_TRUE(wait_for([&] { return engine->running_copies() == 0; }));
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(connect_to("127.0.0.1", listen + k), -1) << k;
    }
}

TEST_F(TcpRelay, SessionLimitRefusesTheThirdClientUntilOneIsReaped) {
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    PortMapping m = relay_mapping("TCP", "limited", port, "127.0.0.1", server.port());
    m.max_sessions = "2";
    start(m);
    const int first = connect_to("127.0.0.1", port);
    const int second = connect_to("127.0.0.1", port);
    ASSERT_TRUE(wait_for([&] { return events.count("limited") == 2; }));
    const int third = connect_to("127.0.0.1", port);
    EXPECT_TRUE(closed_by_peer(third));
    EXPECT_TRUE(
        wait_log("] try to access port mapping[limited] has been rejected.error[beyond the "
                 "limit of sessions].\n"));
    ::close(first);
    ASSERT_TRUE(wait_for([&] { return events.count("limited") == 1; }));
    const int fourth = connect_to("127.0.0.1", port);
    send_text(fourth, "ping");
    EXPECT_EQ(read_some(fourth, 4), "ping");
    EXPECT_TRUE(events.alerts().empty()) << "no sound for the session limit";
    for (int fd : {second, third, fourth})
        ::close(fd);
}

TEST_F(TcpRelay, AddressListsCheckBlockBeforeAllow) {
    struct Case {
        const char* client;
        std::vector<IpRange> allow, block;
        const char* refusal;  // nullptr: admitted
    };
    const IpRange all{FixedText<50>("127.0.0.0"), FixedText<50>("127.0.0.255")};
    const IpRange two{FixedText<50>("127.0.0.2"), FixedText<50>("127.0.0.2")};
    const Case cases[] = {
        {"127.0.0.2", {all}, {two}, "ip in block ip list"},
        {"127.0.0.3", {all}, {two}, nullptr},
        {"127.0.0.3", {}, {}, "not in white ip list"},
        {"127.0.0.3", {two}, {}, "not in white ip list"},
    };
    LoopbackServer server("127.0.0.1", echo);
    make_engine();
    engine->set_voice_notify(true);
    int row = 0;
    for (const Case& c : cases) {
        const std::string name = "lists" + std::to_string(row++);
        SCOPED_TRACE(name);
        const int port = free_port();
        PortMapping m = relay_mapping("TCP", name, port, "127.0.0.1", server.port());
        m.enable_ip_strategy = "1";
        m.allow_ip = c.allow;
        m.block_ip = c.block;
        start(m);
        const int fd = connect_to("127.0.0.1", port, c.client);
        if (c.refusal == nullptr) {
            send_text(fd, "hi");
            EXPECT_EQ(read_some(fd, 2), "hi");
        } else {
            EXPECT_TRUE(closed_by_peer(fd));
            EXPECT_TRUE(
                wait_log(std::string("[") + c.client + ":") &&
                wait_log("mapping[" + name + "] has been rejected.error[" + c.refusal + "].\n"));
        }
        ::close(fd);
    }
    EXPECT_EQ(events.alerts().size(), 3u);
    EXPECT_EQ(events.alerts().front(), home.dir() + "alert.wav");
}

TEST_F(TcpRelay, SmartRouteByClientAddress) {
    LoopbackServer a("127.0.0.1", tagged("A")), b("127.0.0.1", tagged("B"));
    const int port = free_port();
    PortMapping m = relay_mapping("TCP", "by-client", port, "enable smart route", 0);
    m.enable_smart = "1";
    m.smart_ip_range = {{FixedText<50>("127.0.0.2"), FixedText<50>("127.0.0.2"),
                         FixedText<255>("127.0.0.1"), FixedText<20>(std::to_string(a.port()))},
                        {FixedText<50>("127.0.0.3"), FixedText<50>("127.0.0.9"),
                         FixedText<255>("127.0.0.1"), FixedText<20>(std::to_string(b.port()))}};
    start(m);
    EXPECT_EQ(greeting("127.0.0.1", port, "127.0.0.2"), "A");
    EXPECT_EQ(greeting("127.0.0.1", port, "127.0.0.3"), "B");
    EXPECT_EQ(greeting("127.0.0.1", port, "127.0.0.10"), "A") << "no match: the first route";
    EXPECT_TRUE(wait_log("to [127.0.0.1:" + std::to_string(b.port()) + "] has started.\n"));
}

TEST_F(TcpRelay, RoundRobinTakesTheTargetsInTurn) {
    LoopbackServer one("127.0.0.1", tagged("1")), two("127.0.0.1", tagged("2")),
        three("127.0.0.1", tagged("3"));
    const int port = free_port();
    PortMapping m = relay_mapping("TCP", "turns", port, "enable smart route", 0);
    m.enable_smart = "1";
    m.smart_strategy = "1";
    for (const LoopbackServer* s : {&one, &two, &three}) {
        m.smart_round_robin.push_back(
            {FixedText<255>("127.0.0.1"), FixedText<20>(std::to_string(s->port()))});
    }
    start(m);
    std::string order;
    for (int i = 0; i < 4; ++i)
        order += greeting("127.0.0.1", port);
    EXPECT_EQ(order, "1231");
}

TEST_F(TcpRelay, SmartRouteWithAnEmptyListEndsTheSession) {
    const int port = free_port();
    PortMapping m = relay_mapping("TCP", "nowhere", port, "enable smart route", 0);
    m.enable_smart = "1";
    m.smart_strategy = "1";
    start(m);
    const int fd = connect_to("127.0.0.1", port);
    EXPECT_TRUE(closed_by_peer(fd));
    ::close(fd);
    EXPECT_TRUE(wait_log("has stopped.\n"));
    EXPECT_TRUE(wait_for([&] { return events.count("nowhere") == 0; }));
}

TEST_F(TcpRelay, RefusedDestinationLogsBothLinesAndClosesTheClient) {
    const int port = free_port();
    // Bound but not listening, and held for the whole test: a connect to it is refused.
    const ScopedFd closed(bind_socket(SOCK_STREAM, "127.0.0.1", 0));
    ASSERT_GE(closed.get(), 0);
    const int closed_port = local_port(closed.get());
    start(relay_mapping("TCP", "refused", port, "127.0.0.1", closed_port));
    const int fd = connect_to("127.0.0.1", port);
    EXPECT_TRUE(closed_by_peer(fd));
    ::close(fd);
    const std::string line = "port mapping[refused],session of from [127.0.0.1:";
    const std::string to = "] to [127.0.0.1:" + std::to_string(closed_port) + "] has ";
    EXPECT_TRUE(wait_log(to + "stopped.\n"));
    EXPECT_NE(event_log().find(to + "started.\n"), std::string::npos);
    EXPECT_NE(event_log().find(line), std::string::npos);
}

TEST_F(TcpRelay, FailedConnectResolvesTheNameAgainForThisAndLaterSessions) {
    LoopbackServer moved("127.0.0.2", tagged("M"));
    std::atomic<int> lookups{0};
    make_engine(fast_timings(), [&](const char* name, std::string& address) {
        if (std::string(name) != "service.test") return -1;
        address = lookups++ == 0 ? "127.0.0.1" : "127.0.0.2";
        return 0;
    });
    const int port = free_port();
    start(relay_mapping("TCP", "moving", port, "service.test", moved.port()));
    EXPECT_EQ(lookups.load(), 1);
    EXPECT_EQ(greeting("127.0.0.1", port), "M");
    EXPECT_EQ(greeting("127.0.0.1", port), "M");
    EXPECT_EQ(lookups.load(), 2) << "the second session connects to the new address directly";
}

TEST_F(TcpRelay, StartingAgainWhileTheOldCopyEndsKeepsTheRowRunning) {
    EngineTimings timings = fast_timings();
    // Far longer than the stop hold, so the old copy is still ending when the next start comes
    // however slowly this machine runs; the waits below allow for all of it.
    timings.teardown_pause = 5s;
    make_engine(timings);
    LoopbackServer server("127.0.0.1", echo);
    const PortMapping m = relay_mapping("TCP", "again", free_port(), "127.0.0.1", server.port());
    start(m);
    engine->stop_mapping(m, 0);
    EXPECT_EQ(events.status("again"), "stop");
    start(m);
    ASSERT_TRUE(wait_for([&] { return engine->running_copies() == 1; }, 60s));
    EXPECT_EQ(events.status("again"), "running");
    EXPECT_EQ(events.stopped("again"), 0);
}

TEST_F(TcpRelay, StartUpFailuresShowTheirMessageAndReturnToStop) {
    const int taken_fd = bind_socket(SOCK_STREAM, "0.0.0.0", 0);
    ::listen(taken_fd, 1);
    const int taken = local_port(taken_fd);
    make_engine(fast_timings(), [](const char*, std::string&) { return -1; });
    engine->start_mapping(relay_mapping("TCP", "busy", taken, "127.0.0.1", 9), 0);
    engine->start_mapping(relay_mapping("TCP", "unknown", free_port(), "no.such.host", 9), 1);
    ASSERT_TRUE(
        wait_for([&] { return events.stopped("busy") == 1 && events.stopped("unknown") == 1; }));
    auto messages = events.messages();
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "listen on port " + std::to_string(taken) + " error!",
                            "translate computer name or website address to ip address error!"}));
    EXPECT_EQ(events.status("busy"), "stop");
    ::close(taken_fd);
}

TEST_F(TcpRelay, LogLinesAndDumpBlocksAreExact) {
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    PortMapping m = relay_mapping("TCP", "dumped", port, "127.0.0.1", server.port());
    m.enable_log = "1";
    m.log_file = home.file("dump.log");
    start(m);
    const int fd = connect_to("127.0.0.1", port);
    send_text(fd, "GET\r\n");
    EXPECT_EQ(read_some(fd, 5), "GET\r\n");
    ::close(fd);
    ASSERT_TRUE(wait_log("has stopped.\n"));

    const std::string stamp = R"(<\d\d/\d\d/\d{4} \d\d:\d\d:\d\d>:)";
    const std::string session =
        R"(port mapping\[dumped\],session of from \[127\.0\.0\.1:\d+\] to \[127\.0\.0\.1:)" +
        std::to_string(server.port()) + R"(\] has )";
    EXPECT_TRUE(std::regex_match(
        event_log(),
        std::regex(stamp + R"(port mapping\[dumped\] has been successfully started\.\n)" + stamp +
                   session + "started\\.\n" + stamp + session + "stopped\\.\n")))
        << event_log();
    const std::string body = "\t47 45 54 0d 0a " + std::string(20, ' ') + "\t\t\tGET..\n";
    EXPECT_TRUE(std::regex_match(
        read_file(home.file("dump.log")),
        std::regex(stamp + R"(\[127\.0\.0\.1\]=====================>\[127\.0\.0\.1\]\n)" + body +
                   stamp + R"(\[127\.0\.0\.1\]=+>\[127\.0\.0\.1\]\n)" + body)))
        << read_file(home.file("dump.log"));
}

TEST_F(TcpRelay, ReaderThatStallsEndsTheSessionWithoutAHoleInTheStream) {
    // Larger than every kernel buffer on the way, so the relay's write to the client stalls.
    const std::string stream = random_bytes(48 << 20);
    LoopbackServer source("127.0.0.1", [&](int fd) { send_text(fd, stream); });
    EngineTimings timings = fast_timings();
    timings.write_wait_us = 300'000;
    make_engine(timings);
    const int port = free_port();
    start(relay_mapping("TCP", "stalled", port, "127.0.0.1", source.port()));
    const int fd = connect_to("127.0.0.1", port);
    ASSERT_TRUE(wait_log("has stopped.\n")) << "the stalled write must end the session";
    const std::string received = read_some(fd, stream.size(), 1000);
    ::close(fd);
    ASSERT_LT(received.size(), stream.size());
    EXPECT_TRUE(stream.compare(0, received.size(), received) == 0)
        << "the client got " << received.size() << " bytes that are not a prefix of the stream";

    // The next session (most likely on the same relay thread) starts with its own first byte,
    // never with what the stalled one left behind.
    const int next = connect_to("127.0.0.1", port);
    const std::string start_of_next = read_some(next, 1 << 20);
    ::close(next);
    EXPECT_TRUE(start_of_next == stream.substr(0, 1 << 20));
}

}  // namespace
}  // namespace zk
