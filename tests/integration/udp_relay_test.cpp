// The UDP relay with real datagram sockets on loopback.

#include <set>

#include "relay_fixture.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

// A datagram socket bound to `ip` on a port of the kernel's choice.
struct Udp {
    explicit Udp(const char* ip = "127.0.0.1") : fd(bind_socket(SOCK_DGRAM, ip, 0)) {}
    ~Udp() { ::close(fd); }
    int port() const { return local_port(fd); }

    void send_to(int port, const std::string& data) const {
        const sockaddr_in a = loopback_address("127.0.0.1", port);
        ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
    // The next datagram within `limit_ms` and the port it came from; port 0 when none came.
    std::pair<std::string, int> receive(int limit_ms = 3000) const {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, limit_ms) <= 0) return {"", 0};
        char buffer[65536];
        sockaddr_in from{};
        socklen_t n = sizeof from;
        const ssize_t got =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
        return {std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0),
                ntohs(from.sin_port)};
    }
    const int fd;
};

// Answers every datagram with "re:" and the datagram, from `reply_from` (its own socket when
// null). Counts what it received.
class UdpEcho {
public:
    explicit UdpEcho(const Udp* reply_from = nullptr)
        : reply_(reply_from), thread_([this] { run(); }) {}
    ~UdpEcho() {
        stop_ = true;
        thread_.join();
    }
    int port() const { return socket_.port(); }
    int received() const { return received_.load(); }
    int senders() const {
        std::lock_guard guard(lock_);
        return static_cast<int>(senders_.size());
    }

private:
    void run() {
        while (!stop_) {
            pollfd p{socket_.fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[65536];
            sockaddr_in from{};
            socklen_t n = sizeof from;
            const ssize_t got = ::recvfrom(socket_.fd, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &n);
            if (got < 0) continue;
            ++received_;
            {
                std::lock_guard guard(lock_);
                senders_.insert(ntohs(from.sin_port));
            }
            const std::string reply = "re:" + std::string(buffer, static_cast<std::size_t>(got));
            const int out = reply_ ? reply_->fd : socket_.fd;
            ::sendto(out, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), n);
        }
    }
    Udp socket_;
    const Udp* reply_;
    std::atomic<bool> stop_{false};
    std::atomic<int> received_{0};
    mutable std::mutex lock_;
    std::set<int> senders_;
    std::thread thread_;
};

class UdpRelay : public RelayTest {
protected:
    // Starts a UDP mapping `name` from a free port to 127.0.0.1:`destination_port`; its port.
    int start_udp(const std::string& name, int destination_port) {
        const int port = free_port();
        start(relay_mapping("UDP", name, port, "127.0.0.1", destination_port));
        return port;
    }
};

TEST_F(UdpRelay, RepliesComeFromTheListenPortAndEachSourcePortIsASession) {
    UdpEcho echo_server;
    const int port = start_udp("dns", echo_server.port());
    Udp first, second;
    first.send_to(port, "one");
    EXPECT_EQ(first.receive(), std::make_pair(std::string("re:one"), port));
    second.send_to(port, "two");
    EXPECT_EQ(second.receive(), std::make_pair(std::string("re:two"), port));
    first.send_to(port, "three");
    EXPECT_EQ(first.receive().first, "re:three");
    EXPECT_EQ(echo_server.senders(), 2) << "one session socket per client";
    EXPECT_TRUE(wait_for([&] { return events.count("dns") == 2; }));
    EXPECT_TRUE(wait_log("session of from [127.0.0.1:" + std::to_string(second.port()) +
                         "] to [127.0.0.1:" + std::to_string(echo_server.port()) +
                         "] has started.\n"));
}

TEST_F(UdpRelay, EmptyDatagramsAreNotForwarded) {
    UdpEcho echo_server;
    const int port = start_udp("empty", echo_server.port());
    Udp client;
    client.send_to(port, "");
    client.send_to(port, "x");
    EXPECT_EQ(client.receive().first, "re:x");
    EXPECT_EQ(echo_server.received(), 1);
}

TEST_F(UdpRelay, BurstsOfTwoClientsKeepTheirOrderAndSizes) {
    UdpEcho echo_server;
    const int port = start_udp("burst", echo_server.port());
    Udp first, second;
    // Sent back to back, so the relay finds several of each client waiting at once; one is a
    // near-maximal datagram, one is empty.
    std::vector<std::string> sent = {"1", std::string(60000, 'L'), "", "3", "4", "5"};
    for (const auto& d : sent) {
        first.send_to(port, "a" + d);
        second.send_to(port, d);
    }
    for (const auto& d : sent) {
        EXPECT_EQ(first.receive().first, "re:a" + d);
        if (!d.empty()) {
            EXPECT_EQ(second.receive().first, "re:" + d);
        }
    }
    EXPECT_EQ(echo_server.received(), 11) << "the empty datagram is not forwarded";
    EXPECT_EQ(echo_server.senders(), 2);
}

TEST_F(UdpRelay, EmptyRepliesAreSkippedAndTheSessionGoesOn) {
    Udp destination;
    const int port = start_udp("quiet", destination.port());
    Udp client;
    client.send_to(port, "q");
    const auto [request, session_port] = destination.receive();
    ASSERT_EQ(request, "q");
    destination.send_to(session_port, "");
    destination.send_to(session_port, "a");
    EXPECT_EQ(client.receive(), std::make_pair(std::string("a"), port));
    client.send_to(port, "r");
    EXPECT_EQ(destination.receive(), std::make_pair(std::string("r"), session_port));
    EXPECT_EQ(event_log().find("has stopped"), std::string::npos);
    EXPECT_EQ(events.count("quiet"), 1);
}

TEST_F(UdpRelay, ReplyFromAnotherPortIsNotHeard) {
    Udp elsewhere;
    UdpEcho echo_server(&elsewhere);
    const int port = start_udp("strict", echo_server.port());
    Udp client;
    client.send_to(port, "hello");
    ASSERT_TRUE(wait_for([&] { return echo_server.received() == 1; }));
    EXPECT_EQ(client.receive(300).second, 0) << "the session socket is connected";
    // Positive control: the same client through a mapping whose destination answers from its
    // own port hears the reply.
    UdpEcho answering;
    const int control_port = start_udp("control", answering.port());
    client.send_to(control_port, "hello");
    EXPECT_EQ(client.receive(), std::make_pair(std::string("re:hello"), control_port));
}

TEST_F(UdpRelay, SessionLimitCountsClientsAndLogsEachRefusedDatagram) {
    UdpEcho echo_server;
    const int port = free_port();
    PortMapping m = relay_mapping("UDP", "capped", port, "127.0.0.1", echo_server.port());
    m.max_sessions = "1";
    start(m);
    Udp admitted, refused;
    admitted.send_to(port, "a");
    admitted.send_to(port, "b");
    EXPECT_EQ(admitted.receive().first, "re:a");
    EXPECT_EQ(admitted.receive().first, "re:b");
    refused.send_to(port, "c");
    refused.send_to(port, "d");
    EXPECT_EQ(refused.receive(300).second, 0);
    const std::string line = "[127.0.0.1:" + std::to_string(refused.port()) +
                             "] try to access port mapping[capped] has been rejected.error[beyond "
                             "the limit of sessions].\n";
    ASSERT_TRUE(wait_for([&] {
        const std::string log = event_log();
        const std::size_t first = log.find(line);
        return first != std::string::npos && log.find(line, first + 1) != std::string::npos;
    }));
}

TEST_F(UdpRelay, QuietSessionEndsAtTheIdleLimitAndTheClientStartsAgain) {
    EngineTimings timings = fast_timings();
    timings.udp_idle_limit = 300ms;
    make_engine(timings);
    UdpEcho echo_server;
    const int port = start_udp("idle", echo_server.port());
    Udp client;
    client.send_to(port, "1");
    EXPECT_EQ(client.receive().first, "re:1");
    ASSERT_TRUE(wait_log("has stopped.\n"));
    EXPECT_TRUE(wait_for([&] { return events.count("idle") == 0; }));
    client.send_to(port, "2");
    EXPECT_EQ(client.receive().first, "re:2");
    EXPECT_EQ(echo_server.senders(), 2) << "a new session, with a new socket";
}

TEST_F(UdpRelay, StopsUnderSteadyTraffic) {
    UdpEcho echo_server;
    const int port = free_port();
    const PortMapping m = relay_mapping("UDP", "busy", port, "127.0.0.1", echo_server.port());
    start(m);
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        Udp client;
        for (int i = 0; i < 200000 && sending; ++i)
            client.send_to(port, "load");
    });
    engine->stop_mapping(m, 0);
    EXPECT_TRUE(wait_for([&] { return engine->running_copies() == 0; }, 5s));
    sending = false;
    flood.join();
}

}  // namespace
}  // namespace zk
