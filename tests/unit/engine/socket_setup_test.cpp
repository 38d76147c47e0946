// Set-up, waiting, name resolution and the socket hand-over helpers on real loopback sockets.

#include <fcntl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "engine/brellix_socket.h"
#include "support/loopback.h"

namespace zk {
namespace {

using namespace std::chrono_literals;

TEST(SocketSetup, ConnectFailsWithoutTryingOnBadAddressOrPort) {
    // The handle is invalid: had connect() been called, errno would be EBADF.
    struct Case {
        const char* address;
        int port;
    };
    const Case cases[] = {
        {nullptr, 80}, {"", 80}, {"not an address", 80}, {"127.0.0.1", -1}, {"127.0.0.1", 65536}};
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message()
                     << (row.address ? row.address : "(null)") << ':' << row.port);
        errno = 0;
        EXPECT_EQ(brellix_socket_connect(-1, row.address, row.port), kSocketError);
        EXPECT_EQ(errno, EINVAL);
    }
}

TEST(SocketSetup, ConnectReachesListenerAndIsRefusedByClosedPort) {
    int listener = 0;
    ASSERT_EQ(brellix_socket_tcp_listen(listener, 0, 4), kSocketDone);
    test::ScopedFd owned_listener(listener);
    int closed = 0;
    ASSERT_EQ(brellix_socket_tcp_listen(closed, 0, 4), kSocketDone);
    const int closed_port = test::local_port(closed);
    ASSERT_EQ(brellix_socket_close(closed), kSocketDone);

    int sock = 0;
    ASSERT_EQ(brellix_socket_tcp_create(sock), kSocketDone);
    test::ScopedFd owned(sock);
    EXPECT_EQ(brellix_socket_connect(sock, "127.0.0.1", test::local_port(listener)), kSocketDone);
    ASSERT_EQ(brellix_socket_tcp_create(sock), kSocketDone);
    owned.reset(sock);
    EXPECT_EQ(brellix_socket_connect(sock, "127.0.0.1", closed_port), kSocketError);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(SocketSetup, ListenOnTakenPortFailsAndLeavesNoSocket) {
    int first = 0;
    ASSERT_EQ(brellix_socket_tcp_listen(first, 0, 4), kSocketDone);
    test::ScopedFd owned(first);
    int second = 99;
    EXPECT_EQ(brellix_socket_tcp_listen(second, test::local_port(first), 4), kSocketError);
    EXPECT_EQ(errno, EADDRINUSE);
    EXPECT_EQ(second, 0);
}

TEST(SocketSetup, CloseRefusesTheNoSocketValue) {
    EXPECT_EQ(brellix_socket_close(0), kSocketError);
    EXPECT_GE(::fcntl(0, F_GETFD), 0) << "descriptor 0 must stay open";
}

TEST(SocketSetup, WaitReportsReadyOrRanOut) {
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.server.get(), 0);
    struct Case {
        const char* name;
        int for_read;
        std::int64_t timeout;
        int result;
    };
    const Case cases[] = {
        {"nothing to read, no wait", 1, 0, kSocketTimeout},
        {"nothing to read, short wait", 1, 50'000, kSocketTimeout},
        {"nothing to read, one microsecond", 1, 1, kSocketTimeout},
        {"room to write", 0, 0, kSocketDone},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(brellix_socket_wait(pair.server.get(), row.for_read, row.timeout), row.result);
    }
    EXPECT_EQ(brellix_socket_wait(pair.server.get() + 1000, 1, 0), kSocketError);
}

TEST(SocketSetup, WaitWithoutLimitReturnsOnceAnotherThreadMakesItReady) {
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.server.get(), 0);
    std::atomic<bool> started = false;
    std::atomic<int> result = -2;
    std::thread waiter([&] {
        started = true;
        result = brellix_socket_wait(pair.server.get(), 1, -1);
    });
    ASSERT_TRUE(test::wait_for([&] { return started.load(); }));
    // Still waiting a while later: a negative time-out must not turn into "no wait".
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(result.load(), -2);
    std::size_t total = 0;
    ASSERT_EQ(brellix_socket_send_all(pair.client.get(), "x", 1, &total, 0), kSocketDone);
    EXPECT_TRUE(test::wait_for([&] { return result.load() != -2; }));
    waiter.join();
    EXPECT_EQ(result.load(), kSocketDone);
}

TEST(SocketSetup, ShutdownFieldWakesBlockedReceiverAndKeepsTheDescriptor) {
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.server.get(), 0);
    const int server = pair.server.get();
    std::atomic<int> field = server;
    std::atomic<bool> started = false;
    std::atomic<int> result = -2;
    std::thread receiver([&] {
        char buf[16];
        std::size_t len = sizeof buf;
        const int sock = field.load();
        started = true;
        result = brellix_socket_recv(sock, buf, len, -1);  // blocking socket, no limit
    });
    ASSERT_TRUE(test::wait_for([&] { return started.load(); }));
    EXPECT_EQ(socket_shutdown_field(field), server);
    EXPECT_EQ(field.load(), 0);
    EXPECT_TRUE(test::wait_for([&] { return result.load() != -2; }));
    receiver.join();
    EXPECT_EQ(result.load(), kSocketError);
    EXPECT_GE(::fcntl(server, F_GETFD), 0) << "the caller closes the descriptor, later";
    EXPECT_EQ(socket_shutdown_field(field), 0);
}

TEST(SocketSetup, NewSocketsNeverGetDescriptorZero) {
    const int saved_stdin = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(saved_stdin, 0);
    ::close(0);
    int tcp = 0;
    int udp = 0;
    const int tcp_result = brellix_socket_tcp_create(tcp);
    const int udp_result = brellix_socket_udp_create(udp);
    const bool zero_open = ::fcntl(0, F_GETFD) >= 0;
    ::dup2(saved_stdin, 0);
    ::close(saved_stdin);
    test::ScopedFd owned_tcp(tcp);
    test::ScopedFd owned_udp(udp);
    EXPECT_EQ(tcp_result, kSocketDone);
    EXPECT_EQ(udp_result, kSocketDone);
    EXPECT_GT(tcp, 0);
    EXPECT_GT(udp, 0);
    EXPECT_TRUE(zero_open) << "0 stays taken so it is not handed out again";
    EXPECT_EQ(::fcntl(tcp, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

TEST(ResolveHost, NamesAndAddresses) {
    // The long label makes the resolver reject the name before any query leaves the machine.
    const std::string invalid = std::string(64, 'a') + ".zelkora.invalid";
    struct Case {
        const char* name;
        int result;
        const char* address;
    };
    const Case cases[] = {
        {"localhost", kSocketDone, "127.0.0.1"},      {"127.0.0.2", kSocketDone, "127.0.0.2"},
        {invalid.c_str(), kSocketError, "unchanged"}, {"", kSocketError, "unchanged"},
        {nullptr, kSocketError, "unchanged"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name ? row.name : "(null)");
        std::string address = "unchanged";
        EXPECT_EQ(resolve_host(row.name, address), row.result);
        EXPECT_EQ(address, row.address);
    }
}

TEST(AcceptFailure, ListenersGoOnUnlessTheListeningSocketIsBroken) {
    const std::pair<int, AcceptFailure> cases[] = {
        {EAGAIN, AcceptFailure::nothing_pending},
        {ECONNABORTED, AcceptFailure::transient},
        {EINTR, AcceptFailure::transient},
        {EPROTO, AcceptFailure::transient},
        {EMFILE, AcceptFailure::out_of_descriptors},
        {ENFILE, AcceptFailure::out_of_descriptors},
        {EBADF, AcceptFailure::broken},
        {EINVAL, AcceptFailure::broken},
    };
    for (const auto& [error, expected] : cases) {
        EXPECT_EQ(accept_failure(error), expected) << std::strerror(error);
    }
}

}  // namespace
}  // namespace zk
