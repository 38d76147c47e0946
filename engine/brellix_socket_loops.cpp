// The loops of the brellix_socket_ family, built on the single transfers. Each single call gets
// the full time-out; the first non-zero result ends the loop and is returned.

#include <cerrno>

#include "engine/brellix_socket.h"

namespace zk {
namespace {

// Sends data[0..len) with `send_once(data, in/out len)`; a length of 0 makes one call.
template <typename SendOnce>
int send_loop(const void* data, std::size_t len, std::size_t* total, SendOnce send_once) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    int result = kSocketDone;
    do {
        std::size_t chunk = len - sent;
        result = send_once(bytes + sent, chunk);
        if (result == kSocketDone && chunk == 0 && sent < len) {
            errno = EIO;  // no progress and no error: never spin
            result = kSocketError;
        }
        if (result != kSocketDone) break;
        sent += chunk;
    } while (sent < len);
    if (total != nullptr) *total = sent;
    return result;
}

}  // namespace

int brellix_socket_send_all(int sock, const void* data, std::size_t len, std::size_t* total,
                            std::int64_t timeout_us) {
    return send_loop(data, len, total, [&](const void* from, std::size_t& chunk) {
        return brellix_socket_send(sock, from, chunk, timeout_us);
    });
}

int brellix_socket_udp_send_all(int sock, const void* data, std::size_t len, std::size_t* total,
                                std::int64_t timeout_us, const char* address, int port) {
    return send_loop(data, len, total, [&](const void* from, std::size_t& chunk) {
        return brellix_socket_udp_send(sock, from, chunk, timeout_us, address, port);
    });
}

}  // namespace zk
