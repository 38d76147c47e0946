// The relay when the process runs short: memory for a session that cannot be had, and
// descriptors used up. A binary of its own: it replaces operator new and lowers its own limit
// of open files.

#include <fcntl.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "relay_fixture.h"

// The replacements below pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

// An allocation of exactly this many bytes fails (0: none), so a test can make one chosen
// allocation of a session thread fail.
std::atomic<std::size_t> failing_size{0};

}  // namespace

void* operator new(std::size_t size) {
    if (size != 0 && size == failing_size.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);  // a sanitizer's own would bypass the failing size
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace zk {
namespace {

using namespace std::chrono_literals;
using namespace test;

class ResourceLimits : public RelayTest {};

TEST_F(ResourceLimits, SessionWithoutMemoryEndsAloneAndTheRelayGoesOn) {
    struct Case {
        const char* type;
        std::size_t failing;  // an allocation the session thread makes for its first data
    };
    // The UDP session's datagram buffer; the TCP relay's chunk buffer while it dumps.
    for (const Case c : {Case{"UDP", 65535}, Case{"TCP", 10240}}) {
        SCOPED_TRACE(c.type);
        const std::string name = std::string("short-") + c.type;
        const bool tcp = c.type == std::string("TCP");
        const int echo_fd = tcp ? -1 : bind_socket(SOCK_DGRAM, "127.0.0.1", 0);
        LoopbackServer tcp_echo("127.0.0.1", echo);
        const int port = free_port();
        PortMapping m = relay_mapping(c.type, name, port, "127.0.0.1",
                                      tcp ? tcp_echo.port() : local_port(echo_fd));
        m.enable_log = "1";
        m.log_file = home.file(name + ".log");
        start(m);
        const auto client = [&] {
            const int fd =
                tcp ? connect_to("127.0.0.1", port) : bind_socket(SOCK_DGRAM, "127.0.0.1", 0);
            const sockaddr_in to = loopback_address("127.0.0.1", port);
            if (!tcp) ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            send_text(fd, "x");
            return fd;
        };
        failing_size = c.failing;
        const int failed = client();
        const bool logged = wait_for([&] {
            const std::string log = event_log();
            const std::size_t at = log.find("port mapping[" + name + "],session of from [");
            return at != std::string::npos &&
                   log.find("] failed: std::bad_alloc.\n", at) != std::string::npos;
        });
        failing_size = 0;
        EXPECT_TRUE(logged) << event_log();
        EXPECT_TRUE(wait_for([&] { return events.count(name) == 0; })) << "the session ended";
        // Positive control: the next client is relayed.
        const int next = client();
        if (tcp) {
            EXPECT_EQ(read_some(next, 1), "x");
        } else {
            char buffer[16];
            sockaddr_in from{};
            socklen_t n = sizeof from;
            pollfd p{echo_fd, POLLIN, 0};
            ASSERT_GT(::poll(&p, 1, 3000), 0) << "the next datagram did not arrive";
            EXPECT_EQ(::recvfrom(echo_fd, buffer, sizeof buffer, 0,
                                 reinterpret_cast<sockaddr*>(&from), &n),
                      1);
        }
        ::close(failed);
        ::close(next);
        if (echo_fd >= 0) ::close(echo_fd);
    }
}

int count_of(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST_F(ResourceLimits, RunningOutOfDescriptorsTurnsClientsAwayAndIsLoggedOncePerEpisode) {
    LoopbackServer server("127.0.0.1", echo);
    const int port = free_port();
    start(relay_mapping("TCP", "crowded", port, "127.0.0.1", server.port()));
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    // Every descriptor taken but one for each client the test makes.
    std::vector<int> fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        fillers.push_back(fd);
    ASSERT_GT(fillers.size(), 10u);
    std::vector<int> turned_away;
    for (int i = 0; i < 3; ++i) {
        ::close(fillers.back());
        fillers.pop_back();
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(client, 0);
        const sockaddr_in to = loopback_address("127.0.0.1", port);
        ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        EXPECT_TRUE(closed_by_peer(client, 5000)) << "client " << i << " was left waiting";
        turned_away.push_back(client);
    }
    for (int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &original);

    const std::string line =
        "out of file descriptors (process limit): new connections are "
        "closed until some are free.\n";
    ASSERT_TRUE(wait_log(line));
    EXPECT_EQ(count_of(event_log(), line), 1) << "one line for the whole episode";
    // Descriptors are free again: clients are served.
    const int client = connect_to("127.0.0.1", port);
    send_text(client, "back");
    EXPECT_EQ(read_some(client, 4), "back");
    EXPECT_EQ(count_of(event_log(), line), 1);
    ::close(client);
    for (int fd : turned_away)
        ::close(fd);
}

}  // namespace
}  // namespace zk
