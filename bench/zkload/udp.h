#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zkload/net.h"

namespace zk::bench {

// A datagram starting with this text asks the UDP sink for its figures instead of being counted;
// the sink answers with three 8-byte little-endian numbers: datagrams counted, their bytes, and
// the steady-clock time (ns) of the last one. The text is also the readiness probe of a
// forwarder in front of the sink.
inline constexpr std::string_view udp_sink_query = "?count";
inline constexpr std::size_t udp_sink_reply_size = 24;

struct SinkFigures {
    std::uint64_t datagrams = 0;
    std::uint64_t bytes = 0;
    Clock::time_point last;  // arrival of the last counted datagram
};

// A non-blocking UDP socket bound to 127.0.0.1:port with a large receive buffer.
Fd open_udp_server(std::uint16_t port, std::string& error);
// A blocking UDP socket connected to addr whose receives give up after reply_timeout.
Fd open_udp_client(const sockaddr_in& addr, std::chrono::milliseconds reply_timeout);

// The servers of `serve`: each runs until stop is set or the deadline passes.
void run_udp_echo(Fd socket, const std::atomic<bool>& stop, Clock::time_point deadline);
void run_udp_sink(Fd socket, const std::atomic<bool>& stop, Clock::time_point deadline);

// Asks the sink at addr for its figures, retrying a lost query; nullopt after `attempts`.
std::optional<SinkFigures> query_sink(const sockaddr_in& addr, int attempts = 10);

// Sends request from one socket until any datagram comes back or the deadline passes. One
// socket for every attempt, so a forwarder sees one client, not one per attempt.
bool udp_probe(const sockaddr_in& addr, const std::string& request, Clock::time_point deadline);

}  // namespace zk::bench
