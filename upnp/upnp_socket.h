#pragma once
// The few socket operations the gateway client needs: one UDP search socket and short HTTP
// exchanges over TCP. Private to upnp/; every wait is bounded and every descriptor is owned.
//
// Threading: each object is used by one thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zk::upnp_net {

// Owns one descriptor; closing is the destructor's job.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { close(); }

    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    void close();
    int release();

private:
    int fd_ = -1;
};

// A UDP socket that may send to broadcast addresses; closed on failure.
Socket open_search_socket();

// Sends one datagram to a dotted IPv4 address; false when the address is not one or the send
// fails.
bool send_datagram(const Socket& socket, const std::string& address, std::uint16_t port,
                   std::string_view data);

// Waits up to `wait` for one datagram of at most `max_size` bytes; none when nothing came.
std::optional<std::string> receive_datagram(const Socket& socket, std::chrono::milliseconds wait,
                                            std::size_t max_size);

// True when `host` is dotted IPv4 text and `port` lies in 1..65535.
bool is_ipv4_endpoint(const std::string& host, int port);

using Deadline = std::chrono::steady_clock::time_point;

// Time from now until `deadline`; zero once it has passed.
std::chrono::milliseconds time_left(Deadline deadline);

// One TCP connection attempt to a dotted IPv4 host, abandoned after `limit`.
Socket connect_tcp(const std::string& host, int port, std::chrono::milliseconds limit);

// Sends all of `data`; false when the peer stops taking it for `idle_limit`, `deadline` passes
// or an error occurs.
bool send_all(const Socket& socket, std::string_view data, std::chrono::milliseconds idle_limit,
              Deadline deadline);

// Why receive_until_closed stopped. The peer closing, a failed receive and a silence of
// `idle_limit` all end a reply normally; the other two mean the reply is not to be trusted.
enum class ReceiveEnd { closed, failed, silent, deadline, too_large };

// Appends what the peer sends to `out` until it closes the connection, a receive fails,
// `idle_limit` passes without data or `deadline` passes, or `out` would grow beyond `max_size`
// bytes (it then holds at most one byte more, to tell a full reply from a longer one).
ReceiveEnd receive_until_closed(const Socket& socket, std::chrono::milliseconds idle_limit,
                                Deadline deadline, std::size_t max_size, std::string& out);

}  // namespace zk::upnp_net
