#include "engine/socket_address.h"

#include <arpa/inet.h>

#include <cerrno>

namespace zk {

bool make_socket_address(const char* address, int port, sockaddr_in& out) {
    out = sockaddr_in{};
    if (address == nullptr || address[0] == '\0' || port < 0 || port > 65535 ||
        ::inet_aton(address, &out.sin_addr) == 0) {
        errno = EINVAL;
        return false;
    }
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<in_port_t>(port));
    return true;
}

void read_socket_address(const sockaddr_in& address, std::string& dotted, int& port) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    dotted = text;
    port = ntohs(address.sin_port);
}

}  // namespace zk
