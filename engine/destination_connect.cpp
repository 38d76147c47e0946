#include "engine/destination_connect.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "engine/brellix_socket.h"
#include "engine/descriptor_shortage.h"
#include "engine/socket_address.h"

namespace zk {
namespace {

// Connects the non-blocking `sock`, giving up early when the client socket hangs up: reset, or
// closed normally (its read side ends), so a client that leaves is not held for the kernel's
// connect timeout.
bool connect_watching_client(int sock, const std::string& ip, int port, int client_fd) {
    sockaddr_in address{};
    if (!make_socket_address(ip.c_str(), port, address)) return false;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) return false;
    pollfd fds[2] = {{sock, POLLOUT, 0}, {client_fd, POLLRDHUP, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)))
            return false;
        if (fds[0].revents != 0) break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

int connect_destination(const std::string& ip, int port, int client_fd) {
    const int created = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (created < 0) {
        note_descriptor_shortage(errno);
        return 0;
    }
    const int sock = socket_keep_off_zero(created);
    if (sock <= 0) return 0;
    const int on = 1;  // the relay's writes carry the client's, unmerged
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect_watching_client(sock, ip, port, client_fd)) return sock;
    brellix_socket_close(sock);
    return 0;
}

}  // namespace zk
