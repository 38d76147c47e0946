#include "engine/host_lookup.h"

#include "engine/brellix_socket.h"

namespace zk {

std::string address_or_text(const Resolver& resolve, const std::string& host, LetterAt where) {
    std::string address;
    if (names_a_host(host, where) && resolve(host.c_str(), address) == kSocketDone) return address;
    return host;
}

}  // namespace zk
