#include "platform/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

namespace zk {

std::vector<std::string> order_local_addresses(const std::vector<InterfaceAddress>& found) {
    std::vector<std::string> reachable;
    std::vector<std::string> loopback;
    for (const InterfaceAddress& entry : found) {
        if (entry.family != AF_INET || (entry.flags & IFF_UP) == 0 || entry.address.empty()) {
            continue;
        }
        auto& list = (entry.flags & IFF_LOOPBACK) != 0 ? loopback : reachable;
        // The same address on two interfaces would show twice in a list the user picks from.
        if (std::ranges::find(reachable, entry.address) != reachable.end() ||
            std::ranges::find(loopback, entry.address) != loopback.end()) {
            continue;
        }
        list.push_back(entry.address);
    }
    reachable.insert(reachable.end(), loopback.begin(), loopback.end());
    return reachable;
}

std::vector<std::string> local_ipv4_addresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::vector<InterfaceAddress> found;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        InterfaceAddress address{.interface_name = entry->ifa_name ? entry->ifa_name : "",
                                 .family = entry->ifa_addr->sa_family,
                                 .address = {},
                                 .flags = entry->ifa_flags};
        if (address.family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) address.address = text;
        }
        found.push_back(std::move(address));
    }
    ::freeifaddrs(list);
    return order_local_addresses(found);
}

}  // namespace zk
