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

TEST(SocketTransfer, SendAllAndReceiveAllMoveEveryByte) {
    test::TcpPair pair = test::make_tcp_pair(4096);
    ASSERT_GT(pair.server.get(), 0);
    ASSERT_EQ(brellix_socket_set_block(pair.client.get(), 0), kSocketDone);
    ASSERT_EQ(brellix_socket_set_block(pair.server.get(), 0), kSocketDone);
    std::string data(300'000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 253);
    std::string received(data.size(), '\0');
    std::size_t got = 0;
    int read_result = kSocketError;
    std::thread reader([&] {
        read_result = brellix_socket_recv_all(pair.server.get(), received.data(), received.size(),
                                              &got, kLongWait);
    });
    std::size_t sent = 0;
    EXPECT_EQ(
        brellix_socket_send_all(pair.client.get(), data.data(), data.size(), &sent, kLongWait),
        kSocketDone);
    reader.join();
    EXPECT_EQ(sent, data.size());
    EXPECT_EQ(read_result, kSocketDone);
    EXPECT_EQ(got, data.size());
    EXPECT_TRUE(received == data);
}

TEST(SocketTransfer, DatagramReceiveNeverWaits) {
    int listening = 0;
    ASSERT_EQ(brellix_socket_udp_bind(listening, 0), kSocketDone);
    test::ScopedFd owned_listening(listening);
    int sender = 0;
    ASSERT_EQ(brellix_socket_udp_create(sender), kSocketDone);
    test::ScopedFd owned_sender(sender);
    const int port = test::local_port(listening);
    char buf[64];
    std::string address = "unchanged";
    int from_port = -1;

    // Nothing queued, on a socket left in blocking mode: back at once with the would-block error.
    std::size_t len = sizeof buf;
    EXPECT_EQ(brellix_socket_udp_recv(listening, buf, len, address, from_port), kSocketError);
    EXPECT_EQ(len, 0u);
    EXPECT_TRUE(would_block(errno)) << errno;

    // An empty datagram is not a datagram to relay.
    std::size_t total = 7;
    ASSERT_EQ(brellix_socket_udp_send_all(sender, "", 0, &total, kLongWait, "127.0.0.1", port),
              kSocketDone);
    EXPECT_EQ(total, 0u);
    ASSERT_EQ(brellix_socket_wait(listening, 1, kLongWait), kSocketDone);
    len = sizeof buf;
    EXPECT_EQ(brellix_socket_udp_recv(listening, buf, len, address, from_port), kSocketError);
    EXPECT_EQ(len, 0u);

    ASSERT_EQ(brellix_socket_udp_send_all(sender, "ping", 4, &total, kLongWait, "127.0.0.1", port),
              kSocketDone);
    EXPECT_EQ(total, 4u);
    ASSERT_EQ(brellix_socket_wait(listening, 1, kLongWait), kSocketDone);
    len = sizeof buf;
    ASSERT_EQ(brellix_socket_udp_recv(listening, buf, len, address, from_port), kSocketDone);
    EXPECT_EQ(std::string(buf, len), "ping");
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(from_port, test::local_port(sender));
}

TEST(SocketTransfer, ReceiveLineStopsAtLineFeedAndLeavesTheRest) {
    test::TcpPair pair = test::make_tcp_pair();
    ASSERT_GT(pair.server.get(), 0);
    const std::string sent = "GET / HTTP/1.0\r\nabcdef\nrest";
    std::size_t total = 0;
    ASSERT_EQ(brellix_socket_send_all(pair.client.get(), sent.data(), sent.size(), &total, 0),
              kSocketDone);
    pair.client.reset();
    const int sock = pair.server.get();
    char line[64];
    std::size_t count = 0;

    ASSERT_EQ(brellix_socket_recv_line(sock, line, sizeof line, count, kLongWait), kSocketDone);
    EXPECT_EQ(std::string(line, count), "GET / HTTP/1.0\r\n");

    // Capacity reached without a line feed: a failure, and only those bytes were taken.
    EXPECT_EQ(brellix_socket_recv_line(sock, line, 4, count, kLongWait), kSocketError);
    EXPECT_EQ(std::string(line, count), "abcd");
    ASSERT_EQ(brellix_socket_recv_line(sock, line, sizeof line, count, kLongWait), kSocketDone);
    EXPECT_EQ(std::string(line, count), "ef\n");

    // The peer closed before a line feed came.
    EXPECT_EQ(brellix_socket_recv_line(sock, line, sizeof line, count, kLongWait), kSocketError);
    EXPECT_EQ(std::string(line, count), "rest");
}

}  // namespace
}  // namespace zk
