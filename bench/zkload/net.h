#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace zk::bench {

using Clock = std::chrono::steady_clock;

// Owns one descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// "127.0.0.1:PORT", "127.x.y.z:PORT" or a bare port (127.0.0.1). Only loopback addresses are
// accepted: the tool never sends load anywhere else.
std::optional<sockaddr_in> parse_loopback(const std::string& text, std::string& error);
std::string to_text(const sockaddr_in& addr);

// A connected blocking TCP socket with TCP_NODELAY whose connect, sends and receives each give
// up after io_timeout; invalid on failure (errno tells why).
Fd open_connection(const sockaddr_in& addr, std::chrono::milliseconds io_timeout);

// Whole-buffer transfers on such a socket; false on error, time-out or end of stream.
bool send_all(int fd, const void* data, std::size_t size);
bool recv_exact(int fd, void* data, std::size_t size);

// A non-blocking listening socket on 127.0.0.1:port (SO_REUSEPORT so several loops can share it).
Fd open_listener(std::uint16_t port, std::string& error);

// Soft RLIMIT_NOFILE up to the hard limit: idle tests hold thousands of sockets.
void raise_fd_limit();

double micros_between(Clock::time_point from, Clock::time_point to);
double seconds_between(Clock::time_point from, Clock::time_point to);
// `from` plus a number of seconds that may have a fraction.
Clock::time_point after_seconds(Clock::time_point from, double seconds);
void sleep_for_ms(long long ms);

// "\r", "\n", "\t" and "\\" escapes of a request text given on the command line.
std::string unescape(const std::string& text);

}  // namespace zk::bench
