// Creation, set-up and waiting of the brellix_socket_ family.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "engine/brellix_socket.h"
#include "engine/socket_address.h"

namespace zk {
namespace {

int create(int& sock, int type) {
    sock = 0;
    const int fd = socket_keep_off_zero(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    if (fd < 0) return kSocketError;
    sock = fd;
    return kSocketDone;
}

// Closes a socket whose set-up failed, keeping the errno that says why.
int abandon(int& sock) {
    const int error = errno;
    ::close(sock);
    sock = 0;
    errno = error;
    return kSocketError;
}

// Binds a new socket of `type` to 0.0.0.0:port; the socket is closed again on failure.
int bind_any(int& sock, int type, int port, bool reuse_address) {
    sockaddr_in address{};
    if (!make_socket_address("0.0.0.0", port, address)) {
        sock = 0;
        return kSocketError;
    }
    if (create(sock, type) != kSocketDone) return kSocketError;
    const int one = 1;
    if ((reuse_address && ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) ||
        ::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return abandon(sock);
    }
    return kSocketDone;
}

// poll() takes milliseconds: round up so a short wait never becomes no wait.
int poll_timeout_ms(std::int64_t timeout_us) {
    if (timeout_us < 0) return -1;
    const std::int64_t ms = timeout_us / 1000 + (timeout_us % 1000 != 0 ? 1 : 0);
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

int brellix_socket_tcp_create(int& sock) {
    return create(sock, SOCK_STREAM);
}

int brellix_socket_udp_create(int& sock) {
    return create(sock, SOCK_DGRAM);
}

int brellix_socket_close(int sock) {
    if (sock <= 0) {
        errno = EBADF;
        return kSocketError;
    }
    // Not retried on EINTR: Linux releases the descriptor even then.
    return ::close(sock) == 0 || errno == EINTR ? kSocketDone : kSocketError;
}

int brellix_socket_udp_bind(int& sock, int port) {
    return bind_any(sock, SOCK_DGRAM, port, false);
}

int brellix_socket_tcp_listen(int& sock, int port, int backlog) {
    if (bind_any(sock, SOCK_STREAM, port, true) != kSocketDone) return kSocketError;
    if (::listen(sock, backlog) != 0) return abandon(sock);
    return kSocketDone;
}

int brellix_socket_set_block(int sock, int block) {
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0) return kSocketError;
    const int wanted = block != 0 ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    if (wanted != flags && ::fcntl(sock, F_SETFL, wanted) != 0) return kSocketError;
    return kSocketDone;
}

int brellix_socket_connect(int sock, const char* address, int port) {
    sockaddr_in peer{};
    if (!make_socket_address(address, port, peer)) return kSocketError;
    int result;
    do {
        result = ::connect(sock, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? kSocketDone : kSocketError;
}

int brellix_socket_wait(int sock, int for_read, std::int64_t timeout_us) {
    pollfd entry{sock, static_cast<short>(for_read != 0 ? POLLIN : POLLOUT), 0};
    const int timeout_ms = poll_timeout_ms(timeout_us);
    int ready;
    do {
        ready = ::poll(&entry, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return kSocketError;
    if (ready == 0) return kSocketTimeout;
    if ((entry.revents & POLLNVAL) != 0) {
        errno = EBADF;
        return kSocketError;
    }
    return kSocketDone;
}

int socket_keep_off_zero(int fd) {
    if (fd != 0) return fd;
    const int moved = ::fcntl(0, F_DUPFD_CLOEXEC, 1);
    const int error = errno;
    // dup2 onto 0 drops the socket's old number and parks /dev/null there for good.
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd > 0) {
        ::dup2(null_fd, 0);
        ::close(null_fd);
    } else {
        ::close(0);
    }
    errno = error;
    return moved;
}

AcceptFailure accept_failure(int error) {
    switch (error) {
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            return AcceptFailure::nothing_pending;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM: return AcceptFailure::out_of_descriptors;
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case ETIMEDOUT: return AcceptFailure::transient;
        default: return AcceptFailure::broken;
    }
}

}  // namespace zk
