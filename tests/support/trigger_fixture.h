#pragma once
// Port triggers aimed at a datagram socket of the test's own on 127.0.0.1.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/port_trigger.h"
#include "support/loopback.h"
#include "support/loopback_server.h"

namespace zk::test {

// A stopped, hand-started entry that sends an empty UDP datagram to 127.0.0.1:`port` once a
// second.
inline PortTrigger loopback_trigger(const std::string& name, int port) {
    PortTrigger t;
    t.name = name;
    t.status = "stop";
    t.auto_start = "N";
    t.protocol = "UDP";
    t.trigger_address = "127.0.0.1";
    t.trigger_port = std::to_string(port);
    t.trigger_port_end = std::to_string(port);
    t.frequence = "1000";
    return t;
}

// A datagram socket on 127.0.0.1 with a port of the kernel's choice.
struct UdpReceiver {
    UdpReceiver() : fd(bind_socket(SOCK_DGRAM, "127.0.0.1", 0)) {}
    ~UdpReceiver() { ::close(fd); }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    int port() const { return local_port(fd); }
    // The empty datagrams that arrive within `limit`, up to `wanted`.
    int empty_datagrams(int wanted, std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        int got = 0;
        while (got < wanted && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buffer[64];
            if (::recv(fd, buffer, sizeof buffer, 0) == 0) ++got;
        }
        return got;
    }
    // Drops what has arrived so far.
    void drain() const {
        char buffer[64];
        for (int i = 0; i < 1000 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0; ++i) {
        }
    }
    const int fd;
};

}  // namespace zk::test
