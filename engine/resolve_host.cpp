// Host names to dotted IPv4 addresses, safe from any thread.

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "engine/brellix_socket.h"
#include "engine/socket_address.h"

namespace zk {

int resolve_host(const char* name, std::string& address) {
    if (name == nullptr || name[0] == '\0') return kSocketError;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return kSocketError;
    int port = 0;
    read_socket_address(*reinterpret_cast<const sockaddr_in*>(found->ai_addr), address, port);
    ::freeaddrinfo(found);
    return kSocketDone;
}

}  // namespace zk
