// The transfers and loops of the brellix_socket_ family on real loopback sockets.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "engine/brellix_socket.h"
#include "support/loopback.h"

namespace zk {
namespace {

constexpr std::int64_t kShortWait = 200'000;    // 200 ms: a stall the tests expect
constexpr std::int64_t kLongWait = 10'000'000;  // 10 s: only reached if the code is wrong

bool would_block(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// Fills the send buffer of the non-blocking `sock` until it would block; returns the bytes sent.
std::size_t fill_send_buffer(int sock) {
    std::vector<char> chunk(4096, 'f');
    std::size_t sent = 0;
    for (int i = 0; i < 100'000; ++i) {
        std::size_t len = chunk.size();
        if (brellix_socket_send(sock, chunk.data(), len, 0) != kSocketDone) {
            EXPECT_TRUE(would_block(errno)) << errno;
            EXPECT_EQ(len, 0u);
            break;
        }
        sent += len;
    }
    return sent;
}

// Reads until the peer closes; returns everything read.
std::string read_to_end(int sock) {
    std::string all;
    char buf[8192];
    for (;;) {
        std::size_t len = sizeof buf;
        if (brellix_socket_recv(sock, buf, len, kLongWait) != kSocketDone) return all;
        all.append(buf, len);
    }
}

TEST(SocketTransfer, ReceiveAfterPeerClosedIsAnErrorWithLengthZero) {
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.server.get(), 0);
    pair.client.reset();
    char buf[16];
    std::size_t len = sizeof buf;
    EXPECT_EQ(brellix_socket_recv(pair.server.get(), buf, len, kLongWait), kSocketError);
    EXPECT_EQ(len, 0u);
}

TEST(SocketTransfer, SendOnFullBufferTimesOutThenSucceedsWhenReaderDrains) {
    test::TcpPair pair = test::make_tcp_pair(4096);
    ASSERT_GT(pair.server.get(), 0);
    ASSERT_EQ(brellix_socket_set_block(pair.client.get(), 0), kSocketDone);
    const std::size_t filled = fill_send_buffer(pair.client.get());
    ASSERT_GT(filled, 0u);

    char more[1024] = {};
    std::size_t len = sizeof more;
    EXPECT_EQ(brellix_socket_send(pair.client.get(), more, len, kShortWait), kSocketTimeout);
    EXPECT_EQ(len, 0u);
    EXPECT_TRUE(would_block(errno)) << errno;

    std::string received;
    std::thread reader([&] { received = read_to_end(pair.server.get()); });
    len = sizeof more;
    EXPECT_EQ(brellix_socket_send(pair.client.get(), more, len, kLongWait), kSocketDone);
    EXPECT_GT(len, 0u);
    EXPECT_LE(len, sizeof more);
    ::shutdown(pair.client.get(), SHUT_WR);
    reader.join();
    EXPECT_EQ(received.size(), filled + len);
}

TEST(SocketTransfer, SendAllReportsPartialTotalWhenPeerStopsReading) {
    test::TcpPair pair = test::make_tcp_pair(4096);
    ASSERT_GT(pair.server.get(), 0);
    ASSERT_EQ(brellix_socket_set_block(pair.client.get(), 0), kSocketDone);
    std::vector<char> data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);

    std::size_t total = 12345;
    EXPECT_EQ(
        brellix_socket_send_all(pair.client.get(), data.data(), data.size(), &total, kShortWait),
        kSocketTimeout);
    EXPECT_GT(total, 0u);
    EXPECT_LT(total, data.size());

    // The total is exactly what went out: the peer reads those bytes and nothing else.
    pair.client.reset();
    const std::string received = read_to_end(pair.server.get());
    ASSERT_EQ(received.size(), total);
    EXPECT_EQ(received, std::string(data.data(), total));
}

TEST(SocketTransfer, SendAllOfZeroBytesPerformsOneSend) {
    // A connected socket takes the empty send; one never connected refuses it, which shows the
    // send really happened.
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.client.get(), 0);
    int unconnected = 0;
    ASSERT_EQ(brellix_socket_tcp_create(unconnected), kSocketDone);
    test::ScopedFd owned(unconnected);
    struct Case {
        const char* name;
        int sock;
        int result;
    };
    const Case cases[] = {{"connected", pair.client.get(), kSocketDone},
                          {"never connected", unconnected, kSocketError}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::size_t total = 99;
        EXPECT_EQ(brellix_socket_send_all(row.sock, "x", 0, &total, kShortWait), row.result);
        EXPECT_EQ(total, 0u);
    }
}

TEST(SocketTransfer, SendAllMovesEveryByte) {
    test::TcpPair pair = test::make_tcp_pair(4096);
    ASSERT_GT(pair.server.get(), 0);
    ASSERT_EQ(brellix_socket_set_block(pair.client.get(), 0), kSocketDone);
    ASSERT_EQ(brellix_socket_set_block(pair.server.get(), 0), kSocketDone);
    std::string data(300'000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 253);
    std::string received;
    std::thread reader([&] { received = read_to_end(pair.server.get()); });
    std::size_t sent = 0;
    EXPECT_EQ(
        brellix_socket_send_all(pair.client.get(), data.data(), data.size(), &sent, kLongWait),
        kSocketDone);
    pair.client.reset();
    reader.join();
    EXPECT_EQ(sent, data.size());
    EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

}  // namespace
}  // namespace zk
