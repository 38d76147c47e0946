// The local address list: which interface addresses it keeps and in what order.

#include "platform/local_addresses.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zk {
namespace {

constexpr unsigned kUp = IFF_UP;
constexpr unsigned kLoopbackUp = IFF_UP | IFF_LOOPBACK;

InterfaceAddress v4(const char* name, const char* address, unsigned flags) {
    return {.interface_name = name, .family = AF_INET, .address = address, .flags = flags};
}

InterfaceAddress v6(const char* name, const char* address, unsigned flags) {
    return {.interface_name = name, .family = AF_INET6, .address = address, .flags = flags};
}

TEST(LocalAddresses, OrderKeepsReachableAddressesFirstAndLoopbackLast) {
    struct Case {
        const char* label;
        std::vector<InterfaceAddress> found;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"loopback reported first goes last",
         {v4("lo", "127.0.0.1", kLoopbackUp), v4("eth0", "192.168.1.20", kUp)},
         {"192.168.1.20", "127.0.0.1"}},
        {"two interfaces keep their order",
         {v4("lo", "127.0.0.1", kLoopbackUp), v4("wlan0", "10.0.0.7", kUp),
          v4("eth0", "192.168.1.20", kUp)},
         {"10.0.0.7", "192.168.1.20", "127.0.0.1"}},
        {"a down interface is skipped",
         {v4("eth0", "192.168.1.20", 0), v4("wlan0", "10.0.0.7", kUp)},
         {"10.0.0.7"}},
        {"IPv6 and other families are skipped",
         {v6("eth0", "fe80::1", kUp),
          v6("lo", "::1", kLoopbackUp),
          {.interface_name = "eth0", .family = AF_PACKET, .address = {}, .flags = kUp},
          v4("eth0", "192.168.1.20", kUp)},
         {"192.168.1.20"}},
        {"an address on two interfaces is listed once",
         {v4("eth0", "192.168.1.20", kUp), v4("br0", "192.168.1.20", kUp)},
         {"192.168.1.20"}},
        {"only loopback", {v4("lo", "127.0.0.1", kLoopbackUp)}, {"127.0.0.1"}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(order_local_addresses(c.found), c.expected) << c.label;
    }
}

TEST(LocalAddresses, TheMachineListsLoopbackAndEndsWithIt) {
    const std::vector<std::string> addresses = local_ipv4_addresses();
    ASSERT_NE(std::ranges::find(addresses, "127.0.0.1"), addresses.end());
    EXPECT_TRUE(addresses.back().starts_with("127."));
}

}  // namespace
}  // namespace zk
