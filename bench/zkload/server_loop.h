#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "zkload/net.h"

namespace zk::bench {

// Bulk connections start with a 9-byte header: 'U' and 8 ignored bytes (upload: payload bytes
// other than 'E' follow, then one 'E'; the server answers it with the 8-byte little-endian count
// of payload bytes it received, so no half-close, which most forwarders do not pass on, is
// needed), or 'D' and an 8-byte little-endian count (download: the server sends that many
// bytes and closes), or 'P' and 8 ignored bytes (readiness probe: the server answers "pong\n"
// and closes).
inline constexpr std::size_t bulk_header_size = 9;
inline constexpr char bulk_upload_end = 'E';

// One epoll thread serving the echo and bulk listeners it was given.
class ServerLoop {
public:
    ServerLoop(Fd echo_listener, Fd bulk_listener);
    // Runs until stop is set or the deadline passes.
    void run(const std::atomic<bool>& stop, Clock::time_point deadline);

private:
    enum class Kind { echo, bulk_header, sink, source };
    struct Conn {
        int fd = -1;
        Kind kind = Kind::echo;
        unsigned char header[bulk_header_size] = {};
        std::size_t header_got = 0;
        std::uint64_t count = 0;  // sink: bytes received; source: bytes still to send
        std::string pending;      // echo bytes not yet written back
    };

    void accept_all(int listener, Kind kind);
    // Each returns false when the connection is finished.
    bool on_echo(Conn& c, std::uint32_t events);
    bool on_header(Conn& c);
    bool on_sink(Conn& c);
    bool on_source(Conn& c, std::uint32_t events);
    void watch(int fd, std::uint32_t events, int op);
    void drop(int fd);

    Fd echo_listener_;
    Fd bulk_listener_;
    Fd epoll_;
    std::unordered_map<int, Conn> conns_;
    std::vector<char> buffer_;
};

}  // namespace zk::bench
