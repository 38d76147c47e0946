// Faults at the edges of a relay's life on real loopback sockets: a destination that leaves
// right after sending, a client that leaves while the destination is still being reached, a
// refused client while the alert plays, a UDP mapping started again right after its stop, and
// what an idle session costs in descriptors.

#include <dirent.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <condition_variable>
#include <thread>

#include "relay_fixture.h"
#include "support/open_descriptors.h"
#include "support/random_bytes.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

class RelayFaults : public RelayTest {};

TEST_F(RelayFaults, BytesSentRightBeforeTheDestinationLeavesReachTheClient) {
    struct Case {
        const char* name;
        bool reset;  // SO_LINGER 0: the close resets the connection
    };
    for (const Case c : {Case{"close", false}, Case{"reset", true}}) {
        SCOPED_TRACE(c.name);
        const std::string data = random_bytes(6 << 20);
        const int listener = bind_socket(SOCK_STREAM, "127.0.0.1", 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        std::atomic<bool> left{false};
        std::atomic<int> unacknowledged{0};
        std::thread destination([&] {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            send_text(fd, data);
            // Bytes the relay's kernel has acknowledged stay readable there after a reset;
            // bytes still unacknowledged when the reset goes may be lost on the way.
            int unsent = 0;
            wait_for([&] { return ::ioctl(fd, SIOCOUTQ, &unsent) == 0 && unsent == 0; }, 5s);
            unacknowledged = unsent;
            if (c.reset) {
                const linger abort{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            ::close(fd);
            left = true;
        });
        const int port = free_port();
        start(relay_mapping("TCP", std::string("leaving-") + c.name, port, "127.0.0.1",
                            local_port(listener)));
        // A small receive buffer, and a stream larger than the relay's largest send buffer,
        // keep megabytes inside the relay when the destination leaves.
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 8192;
        ::setsockopt(client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in to = loopback_address("127.0.0.1", port);
        ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        ASSERT_TRUE(wait_for([&] { return left.load(); }, 20s)) << "the destination never left";
        const std::string received = read_some(client, data.size() + 1);
        const std::size_t at_least = data.size() - (c.reset ? unacknowledged.load() : 0);
        EXPECT_GE(received.size(), at_least) << "of " << data.size() << " bytes";
        EXPECT_LE(received.size(), data.size());
        EXPECT_TRUE(data.compare(0, received.size(), received) == 0) << "the bytes differ";
        destination.join();
        ::close(client);
        ::close(listener);
    }
}

TEST_F(RelayFaults, ClientThatLeavesWhileTheDestinationIsBeingReachedEndsTheSession) {
    // A listener whose queue is full drops further connection requests: a connect to it never
    // completes.
    const int unreachable = bind_socket(SOCK_STREAM, "127.0.0.1", 0);
    ASSERT_EQ(::listen(unreachable, 0), 0);
    const int filler = connect_to("127.0.0.1", local_port(unreachable));
    ASSERT_GE(filler, 0);
    const int port = free_port();
    start(relay_mapping("TCP", "pending", port, "127.0.0.1", local_port(unreachable)));
    const int client = connect_to("127.0.0.1", port);
    ASSERT_TRUE(wait_for([&] { return events.count("pending") == 1; }));
    // Positive control: while the client stays, the session waits for the destination.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(events.count("pending"), 1) << "the session ended before the client left";
    ::close(client);  // a normal close, no reset
    EXPECT_TRUE(wait_for([&] { return events.count("pending") == 0; }, 10s))
        << "the session went on after its client left";
    EXPECT_TRUE(wait_log("has stopped.\n"));
    ::close(filler);
    ::close(unreachable);
}

// Plays the alert only when the test lets it end.
class HeldAlert : public RecordingEvents {
public:
    void play_alert(std::string_view path) override {
        RecordingEvents::play_alert(path);
        std::unique_lock guard(lock_);
        playing_ = true;
        released_.wait(guard, [this] { return release_; });
        playing_ = false;
    }
    bool playing() {
        std::lock_guard guard(lock_);
        return playing_;
    }
    void release() {
        {
            std::lock_guard guard(lock_);
            release_ = true;
        }
        released_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable released_;
    bool playing_ = false;
    bool release_ = false;
};

TEST_F(RelayFaults, RefusedClientIsClosedBeforeTheAlertPlays) {
    HeldAlert alert;
    {
        Engine held(home.dir(), alert, fast_timings());
        held.set_voice_notify(true);
        const int port = free_port();
        PortMapping m = relay_mapping("TCP", "refusing", port, "127.0.0.1", 9);
        m.enable_ip_strategy = "1";  // an empty allow list refuses everyone
        held.start_mapping(m, 0);
        ASSERT_TRUE(wait_for([&] { return alert.status("refusing") == "running"; }));
        const int client = connect_to("127.0.0.1", port);
        ASSERT_TRUE(wait_for([&] { return alert.playing(); })) << "the alert did not start";
        const bool closed = closed_by_peer(client, 5000);
        const bool still_playing = alert.playing();
        alert.release();
        EXPECT_TRUE(closed) << "the client was not closed while the alert played";
        EXPECT_TRUE(still_playing);
        ::close(client);
    }
}

TEST_F(RelayFaults, UdpMappingStartedRightAfterItsStopRuns) {
    EngineTimings timings = fast_timings();
    timings.teardown_pause = 600ms;  // the old copy is still ending when the next start comes
    make_engine(timings);
    const int echo_fd = bind_socket(SOCK_DGRAM, "127.0.0.1", 0);
    std::atomic<bool> serving{true};
    std::thread echo_server([&] {
        while (serving) {
            pollfd p{echo_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[2048];
            sockaddr_in from{};
            socklen_t n = sizeof from;
            const ssize_t got = ::recvfrom(echo_fd, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &n);
            if (got > 0) {
                ::sendto(echo_fd, buffer, static_cast<std::size_t>(got), 0,
                         reinterpret_cast<sockaddr*>(&from), n);
            }
        }
    });
    const int port = free_port();
    const PortMapping m = relay_mapping("UDP", "again", port, "127.0.0.1", local_port(echo_fd));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        start(m);
        const int client = bind_socket(SOCK_DGRAM, "127.0.0.1", 0);
        const std::string text = "ping" + std::to_string(round);
        const sockaddr_in to = loopback_address("127.0.0.1", port);
        ::sendto(client, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
        EXPECT_EQ(read_some(client, text.size(), 3000), text);
        // Sending a reply while the stop shuts the listening socket must not disturb anything.
        ::sendto(client, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
        engine->stop_mapping(m, 0);
        ::close(client);
    }
    EXPECT_TRUE(events.messages().empty()) << events.messages().front();
    serving = false;
    echo_server.join();
    ::close(echo_fd);
}

TEST_F(RelayFaults, IdleSessionHoldsItsTwoSocketsAndNothingMore) {
    constexpr int kSessions = 100;
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    start(relay_mapping("TCP", "idle", port, "127.0.0.1", server.port()));
    const int before = open_descriptors();
    std::vector<int> clients;
    for (int i = 0; i < kSessions; ++i) {
        const int fd = connect_to("127.0.0.1", port);
        ASSERT_GE(fd, 0) << "client " << i;
        clients.push_back(fd);
        send_text(fd, "x");
        ASSERT_EQ(read_some(fd, 1), "x") << "client " << i;
    }
    // Each session: the test's client and the server's end, and the relay's two sockets.
    // Pipes are held only while bytes move, and the shared pool keeps a few dozen at most.
    const int held = open_descriptors() - before;
    EXPECT_GE(held, 4 * kSessions) << "positive control: the sessions are all open";
    EXPECT_LE(held, 4 * kSessions + 70) << held << " descriptors for " << kSessions << " sessions";
    for (int fd : clients)
        ::close(fd);
    EXPECT_TRUE(wait_for([&] { return events.count("idle") == 0; }));
}

}  // namespace
}  // namespace zk
