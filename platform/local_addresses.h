#pragma once
// The machine's own IPv4 addresses, read from its interfaces rather than by resolving the host
// name (which on most Linux systems gives only 127.0.1.1).

#include <string>
#include <vector>

namespace zk {

// One address of one interface, as getifaddrs reports it.
struct InterfaceAddress {
    std::string interface_name;
    int family = 0;       // AF_INET, AF_INET6, ...
    std::string address;  // dotted text for AF_INET
    unsigned flags = 0;   // IFF_UP, IFF_LOOPBACK, ...
};

// The IPv4 addresses of interfaces that are up, each once, in the order given, with loopback
// addresses last: the first one is the address other machines can reach.
std::vector<std::string> order_local_addresses(const std::vector<InterfaceAddress>& found);

// order_local_addresses over the machine's interfaces; empty when they cannot be read. Any
// thread.
std::vector<std::string> local_ipv4_addresses();

}  // namespace zk
