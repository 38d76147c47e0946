// Taking a socket away from threads that may be blocked on it.

#include <sys/socket.h>

#include "engine/brellix_socket.h"

namespace zk {

int socket_shutdown_field(std::atomic<int>& field) {
    const int sock = field.exchange(0);
    if (sock > 0) ::shutdown(sock, SHUT_RDWR);
    return sock;
}

}  // namespace zk
