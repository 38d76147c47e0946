// Single transfers of the brellix_socket_ family, with the retry rule: repeat interrupted calls;
// on would-block (and a time-out other than 0) wait for the socket, then try exactly once more.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "engine/brellix_socket.h"
#include "engine/socket_address.h"

namespace zk {
namespace {

bool would_block(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

template <typename Operation>
ssize_t repeat_interrupted(Operation operation) {
    ssize_t result;
    do {
        result = operation();
    } while (result < 0 && errno == EINTR);
    return result;
}

// `closed_is_error`: a count of 0 from a stream receive is the peer's orderly close.
template <typename Operation>
int transfer(int sock, int for_read, std::size_t& len, std::int64_t timeout_us,
             bool closed_is_error, Operation operation) {
    ssize_t moved = repeat_interrupted(operation);
    if (moved < 0 && would_block(errno) && timeout_us != 0) {
        const int waited = brellix_socket_wait(sock, for_read, timeout_us);
        if (waited != kSocketDone) {
            len = 0;
            return waited;
        }
        moved = repeat_interrupted(operation);
    }
    if (moved < 0 || (moved == 0 && closed_is_error)) {
        if (moved == 0) errno = 0;
        len = 0;
        return kSocketError;
    }
    len = static_cast<std::size_t>(moved);
    return kSocketDone;
}

}  // namespace

int brellix_socket_send(int sock, const void* data, std::size_t& len, std::int64_t timeout_us) {
    const std::size_t want = len;
    return transfer(sock, 0, len, timeout_us, false,
                    [&] { return ::send(sock, data, want, MSG_NOSIGNAL); });
}

int brellix_socket_udp_send(int sock, const void* data, std::size_t& len, std::int64_t timeout_us,
                            const char* address, int port) {
    sockaddr_in peer{};
    if (!make_socket_address(address, port, peer)) {
        len = 0;
        return kSocketError;
    }
    return brellix_socket_udp_send_to(sock, data, len, timeout_us, peer);
}

int brellix_socket_udp_send_to(int sock, const void* data, std::size_t& len,
                               std::int64_t timeout_us, const sockaddr_in& peer) {
    const std::size_t want = len;
    return transfer(sock, 0, len, timeout_us, false, [&] {
        return ::sendto(sock, data, want, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&peer),
                        sizeof peer);
    });
}

int brellix_socket_recv(int sock, void* buf, std::size_t& len, std::int64_t timeout_us) {
    const std::size_t room = len;
    return transfer(sock, 1, len, timeout_us, true, [&] { return ::recv(sock, buf, room, 0); });
}

}  // namespace zk
