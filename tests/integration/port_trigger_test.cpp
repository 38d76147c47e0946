// Port triggers with real sockets on loopback: one thread per port, the kept-open TCP connection,
// empty datagrams, stop requests, address look-up, and the app model's trigger commands.

#include <chrono>
#include <map>
#include <mutex>

#include "app/app_model.h"
#include "core/config_file.h"
#include "engine/brellix_socket.h"
#include "engine/port_trigger_run.h"
#include "relay_fixture.h"
#include "support/recording_sink.h"
#include "support/silent_alert.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

TriggerLimits fast_trigger_limits() {
    TriggerLimits t;
    t.end_pause = 50ms;
    return t;
}

PortTrigger trigger(const std::string& name, const char* protocol, const std::string& address,
                    const std::string& first, const std::string& last, const char* frequence) {
    PortTrigger t{};
    t.name = name;
    t.status = "stop";
    t.auto_start = "N";
    t.protocol = protocol;
    t.trigger_address = address;
    t.trigger_port = first;
    t.trigger_port_end = last;
    t.frequence = frequence;
    return t;
}

PortTrigger trigger_to(const std::string& name, const char* protocol, int port,
                       const char* frequence = "20") {
    return trigger(name, protocol, "127.0.0.1", std::to_string(port), std::to_string(port),
                   frequence);
}

std::string trigger_line(const char* verb, const std::string& name, const std::string& address,
                         int port) {
    return std::string(verb) + " port triggering[" + name + "], trigger address is " + address +
           ", trigger port is " + std::to_string(port) + "\n";
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Waits for `wanted` empty datagrams on `fd`; returns how many came within the limit.
int receive_empty(int fd, int wanted, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int got = 0;
    while (got < wanted) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[64];
        if (::recv(fd, buffer, sizeof buffer, 0) == 0) ++got;
    }
    return got;
}

// Drops the datagrams already queued on `fd`.
void drain(int fd) {
    char buffer[64];
    for (int i = 0; i < 10000 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0; ++i) {
    }
}

// A datagram socket on 127.0.0.1:port (0: the kernel's choice).
struct UdpPeer {
    explicit UdpPeer(int port = 0) : fd(bind_socket(SOCK_DGRAM, "127.0.0.1", port)) {}
    ~UdpPeer() { ::close(fd); }
    int port() const { return local_port(fd); }
    const int fd;
};

// What a runner reports, for tests to wait on.
class StatusReports {
public:
    TriggerStatusReport sink() {
        return [this](std::string_view name, std::string_view status) {
            std::lock_guard guard(lock_);
            last_[std::string(name)] = status;
            ++count_[std::string(name)];
        };
    }
    std::string status(const std::string& name) const {
        std::lock_guard guard(lock_);
        const auto it = last_.find(name);
        return it == last_.end() ? "" : it->second;
    }
    int reports(const std::string& name) const {
        std::lock_guard guard(lock_);
        const auto it = count_.find(name);
        return it == count_.end() ? 0 : it->second;
    }

private:
    mutable std::mutex lock_;
    std::map<std::string, std::string> last_;
    std::map<std::string, int> count_;
};

class PortTriggers : public RelayTest {
protected:
    int lines(const std::string& line) const { return occurrences(event_log(), line); }
    bool wait_stopped(const std::string& name) {
        return wait_for([&] { return reports.status(name) == "stop"; });
    }
    StatusReports reports;
};

TEST_F(PortTriggers, RangeOfThreePortsRunsAThreadPerPortUntilStopped) {
    const int base = free_port_run(3);
    const UdpPeer peers[] = {UdpPeer(base), UdpPeer(base + 1), UdpPeer(base + 2)};
    PortTrigger entry =
        trigger("range", "UDP", "127.0.0.1", std::to_string(base), std::to_string(base + 2), "20");
    TriggerRunner runner(reports.sink(), fast_trigger_limits());

    EXPECT_EQ(runner.start_trigger(entry), 3);
    EXPECT_EQ(entry.status.view(), "running");
    EXPECT_EQ(runner.running_threads("range"), 3);
    for (const UdpPeer& peer : peers) {
        ASSERT_GT(peer.fd, 0) << "port " << peer.port() << " taken";
        EXPECT_EQ(receive_empty(peer.fd, 3), 3) << "port " << peer.port();
        EXPECT_TRUE(wait_log(trigger_line("start", "range", "127.0.0.1", peer.port())));
    }

    EXPECT_TRUE(runner.stop_trigger("range"));
    ASSERT_TRUE(wait_stopped("range"));
    EXPECT_EQ(runner.running_threads(), 0) << "stop is reported once the last thread ended";
    EXPECT_EQ(reports.reports("range"), 1);
    for (int port = base; port <= base + 2; ++port) {
        EXPECT_EQ(lines(trigger_line("start", "range", "127.0.0.1", port)), 1) << port;
        EXPECT_EQ(lines(trigger_line("stop", "range", "127.0.0.1", port)), 1) << port;
    }
    EXPECT_FALSE(runner.stop_trigger("range")) << "nothing of it runs any more";
}

TEST_F(PortTriggers, TcpConnectionIsKeptOpenAndReopenedWhenThePeerDropsIt) {
    // One port for both kinds: every empty datagram marks a pass whose TCP step succeeded.
    const int port = free_port();
    UdpPeer passes(port);
    std::atomic<bool> drop_first{false};
    std::atomic<int> accepted{0};
    LoopbackServer server("127.0.0.1", port, [&](int fd) {
        if (accepted++ == 0) {
            wait_for([&] { return drop_first.load(); });
            return;  // the server shuts the connection down
        }
        read_some(fd, 1, 10000);  // held until the trigger or the server ends it
    });
    TriggerRunner runner(reports.sink(), fast_trigger_limits());
    PortTrigger entry = trigger_to("keep", "TCP+UDP", port);
    ASSERT_EQ(runner.start_trigger(entry), 1);

    ASSERT_EQ(receive_empty(passes.fd, 5), 5);
    EXPECT_EQ(server.connections(), 1) << "one connection kept over five passes";

    drop_first = true;
    EXPECT_TRUE(wait_for([&] { return server.connections() == 2; })) << "reopened";
    drain(passes.fd);  // passes of the dropped connection
    EXPECT_EQ(receive_empty(passes.fd, 5), 5);
    EXPECT_EQ(server.connections(), 2);

    EXPECT_TRUE(runner.stop_trigger("keep"));
    EXPECT_TRUE(wait_stopped("keep"));
    EXPECT_EQ(lines(trigger_line("stop", "keep", "127.0.0.1", port)), 1);
}

TEST_F(PortTriggers, StopsOfTwoTriggersAtOnceEndBothWithoutWaitingOutThePause) {
    UdpPeer slow_peer, busy_peer;
    TriggerRunner runner(reports.sink(), fast_trigger_limits());
    PortTrigger slow = trigger_to("slow", "UDP", slow_peer.port(), "600000");
    PortTrigger busy = trigger_to("busy", "UDP", busy_peer.port(), "0");
    ASSERT_EQ(runner.start_trigger(slow), 1);
    ASSERT_EQ(runner.start_trigger(busy), 1);
    ASSERT_EQ(receive_empty(slow_peer.fd, 1), 1);  // its first pass; the pause follows
    ASSERT_EQ(receive_empty(busy_peer.fd, 50), 50) << "a frequence of 0 passes without pause";

    EXPECT_TRUE(runner.stop_trigger("slow"));
    EXPECT_TRUE(runner.stop_trigger("busy"));
    EXPECT_TRUE(wait_stopped("slow")) << "the ten-minute pause ends at the stop request";
    EXPECT_TRUE(wait_stopped("busy")) << "the second request did not replace the first";
    EXPECT_EQ(runner.running_threads(), 0);
}

TEST_F(PortTriggers, PortRangeDecidesTheThreads) {
    struct Row {
        const char* first;
        const char* last;
        int threads;
    };
    TriggerLimits limits = fast_trigger_limits();
    limits.max_ports = 8;
    const Row rows[] = {
        {"6002", "6000", 0},              // end below start
        {"0", "0", 0},                    // port 0 is no port
        {"abc", "", 0},                   // not numbers
        {"65530", "70000", 6},            // cut at the last port
        {"60000", "999999999", 8},        // a huge range is capped
        {"2147483647", "2147483647", 0},  // no overflow past the largest number
    };
    TriggerRunner runner(reports.sink(), limits);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.first) + " to " + row.last);
        const std::string name = std::string("range ") + row.first;
        // No protocol: the threads send nothing and wait out their long pause.
        PortTrigger entry = trigger(name, "", "127.0.0.1", row.first, row.last, "600000");
        EXPECT_EQ(runner.start_trigger(entry), row.threads);
        EXPECT_EQ(entry.status.view(), "running");
        EXPECT_EQ(runner.running_threads(name), row.threads);
        EXPECT_EQ(runner.stop_trigger(name), row.threads > 0);
        if (row.threads > 0) {
            EXPECT_TRUE(wait_stopped(name));
            EXPECT_EQ(runner.running_threads(), 0);
        }
    }
}

TEST_F(PortTriggers, OnlyAddressesStartingWithALetterAreLookedUp) {
    struct Row {
        const char* address;
        bool looked_up;
    };
    const Row rows[] = {{"localhost", true}, {"127.0.0.1", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        std::mutex lock;
        std::vector<std::string> looked_up;
        Resolver recording = [&](const char* name, std::string& address) {
            std::lock_guard guard(lock);
            looked_up.emplace_back(name);
            return resolve_host(name, address);
        };
        UdpPeer peer;
        TriggerRunner runner(reports.sink(), fast_trigger_limits(), recording);
        PortTrigger entry = trigger(row.address, "UDP", row.address, std::to_string(peer.port()),
                                    std::to_string(peer.port()), "20");
        ASSERT_EQ(runner.start_trigger(entry), 1);
        EXPECT_EQ(receive_empty(peer.fd, 2), 2) << "sent to 127.0.0.1";
        EXPECT_TRUE(wait_log(trigger_line("start", row.address, row.address, peer.port())))
            << "the address as entered";
        std::lock_guard guard(lock);
        EXPECT_EQ(looked_up, row.looked_up ? std::vector<std::string>{row.address}
                                           : std::vector<std::string>{});
    }
}

TEST_F(PortTriggers, ModelStartsAutomaticTriggersAndItsCommandsStopAndStartThem) {
    UdpPeer peer;
    PortTrigger automatic = trigger_to("auto", "UDP", peer.port());
    automatic.auto_start = "Y";
    PortTrigger empty = trigger("empty", "UDP", "127.0.0.1", "6002", "6000", "20");
    empty.auto_start = "Y";
    const PortTrigger manual = trigger_to("manual", "UDP", peer.port());
    ASSERT_EQ(
        save_configuration(home.file("config.xml"), AppSettings{}, {}, {automatic, manual, empty}),
        0);
    RecordingSink sink;
    SilentAlert alert;
    AppModel model(home.dir(), sink, alert, fast_timings(), fast_trigger_limits());
    model.start_up();
    const auto status = [&](std::size_t i) { return model.snapshot().triggers.at(i).status.str(); };
    EXPECT_EQ(status(0), "running");
    EXPECT_EQ(status(1), "stop");
    EXPECT_EQ(status(2), "running") << "started, though no port lies in its range";
    EXPECT_EQ(receive_empty(peer.fd, 2), 2);

    EXPECT_EQ(model.start_trigger("auto").value_or(""), "the port trigger is running already");
    EXPECT_EQ(model.stop_trigger("nobody").value_or(""), "no such port trigger");
    EXPECT_FALSE(model.stop_trigger("auto").has_value());
    EXPECT_TRUE(wait_for([&] { return status(0) == "stop"; }));
    EXPECT_FALSE(model.stop_trigger("empty").has_value());
    EXPECT_EQ(status(2), "stop") << "no thread: stopped at once";

    EXPECT_FALSE(model.start_trigger("manual").has_value());
    EXPECT_EQ(status(1), "running");
    EXPECT_TRUE(wait_log(trigger_line("start", "manual", "127.0.0.1", peer.port())));
    EXPECT_TRUE(sink.messages().empty());
}  // the model ends with "manual" still running: its threads end with it

}  // namespace
}  // namespace zk
