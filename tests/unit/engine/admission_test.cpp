// Admission and smart routing as pure functions of a mapping and a client address: block before
// allow, inclusive bounds, text that is no address, and both routing strategies.

#include "engine/admission.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/mapping_builder.h"

namespace zk {
namespace {

const char* admission_name(Admission a) {
    switch (a) {
        case Admission::admitted: return "admitted";
        case Admission::beyond_limit: return "beyond_limit";
        case Admission::blocked: return "blocked";
        case Admission::not_in_white_list: return "not_in_white_list";
    }
    return "?";
}

std::vector<IpRange> ranges(std::initializer_list<std::pair<const char*, const char*>> list) {
    std::vector<IpRange> out;
    for (const auto& [start, end] : list) {
        IpRange& r = out.emplace_back();
        r.start = start;
        r.end = end;
    }
    return out;
}

RouteEntry route_entry(const char* start, const char* end, const char* d_ip, const char* d_port) {
    RouteEntry r;
    r.start = start;
    r.end = end;
    r.d_ip = d_ip;
    r.d_port = d_port;
    return r;
}

RoundRobinTarget target(const char* d_ip, const char* d_port) {
    RoundRobinTarget t;
    t.d_ip = d_ip;
    t.d_port = d_port;
    return t;
}

TEST(Admission, IpStrategyTable) {
    struct Case {
        const char* name;
        const char* strategy;
        std::vector<IpRange> block;
        std::vector<IpRange> allow;
        const char* client;
        Admission expected;
    };
    const auto allow_ten = ranges({{"10.0.0.1", "10.0.0.9"}});
    const Case cases[] = {
        {"strategy off admits anyone",
         "0",
         ranges({{"0.0.0.0", "255.255.255.255"}}),
         {},
         "10.0.0.5",
         Admission::admitted},
        {"empty lists reject as not in the white list",
         "1",
         {},
         {},
         "10.0.0.5",
         Admission::not_in_white_list},
        {"inside the allow range", "1", {}, allow_ten, "10.0.0.5", Admission::admitted},
        {"allow range start is inclusive", "1", {}, allow_ten, "10.0.0.1", Admission::admitted},
        {"allow range end is inclusive", "1", {}, allow_ten, "10.0.0.9", Admission::admitted},
        {"one below the allow range", "1", {}, allow_ten, "10.0.0.0", Admission::not_in_white_list},
        {"one above the allow range",
         "1",
         {},
         allow_ten,
         "10.0.0.10",
         Admission::not_in_white_list},
        {"first number is most significant",
         "1",
         {},
         ranges({{"9.255.255.255", "10.0.0.0"}}),
         "9.255.255.255",
         Admission::admitted},
        {"in both lists: block comes first", "1", ranges({{"10.0.0.5", "10.0.0.5"}}), allow_ten,
         "10.0.0.5", Admission::blocked},
        {"block range end is inclusive", "1", ranges({{"10.0.0.1", "10.0.0.5"}}), allow_ten,
         "10.0.0.5", Admission::blocked},
        {"outside the block range, inside allow", "1", ranges({{"10.0.0.1", "10.0.0.4"}}),
         allow_ten, "10.0.0.5", Admission::admitted},
        {"later allow range admits",
         "1",
         {},
         ranges({{"10.0.0.1", "10.0.0.2"}, {"10.0.0.3", "10.0.0.8"}}),
         "10.0.0.5",
         Admission::admitted},
        {"start after end contains nothing",
         "1",
         {},
         ranges({{"10.0.0.9", "10.0.0.1"}}),
         "10.0.0.5",
         Admission::not_in_white_list},
        {"a client text that is no address reads as 255.255.255.255",
         "1",
         {},
         ranges({{"255.255.255.255", "255.255.255.255"}}),
         "no-address",
         Admission::admitted},
        {"range bounds that are no address read as 255.255.255.255",
         "1",
         {},
         ranges({{"10.0.0.1", "junk"}}),
         "200.1.1.1",
         Admission::admitted},
        {"a start that is no address holds only 255.255.255.255",
         "1",
         {},
         ranges({{"junk", "255.255.255.255"}}),
         "200.1.1.1",
         Admission::not_in_white_list},
    };
    for (const Case& c : cases) {
        PortMapping m = test::relay_mapping("TCP", "m", 1, "127.0.0.1", 9);
        m.enable_ip_strategy = c.strategy;
        m.block_ip = c.block;
        m.allow_ip = c.allow;
        const Admission got = check_ip_strategy(m, c.client);
        EXPECT_EQ(got, c.expected) << c.name << ": got " << admission_name(got) << ", expected "
                                   << admission_name(c.expected);
    }
}

TEST(Admission, SessionLimitTable) {
    struct Case {
        const char* max_sessions;
        int count;
        Admission expected;
    };
    const Case cases[] = {
        {"", 1000, Admission::admitted},      {"2", 1, Admission::admitted},
        {"2", 2, Admission::beyond_limit},    {"0", 0, Admission::beyond_limit},
        {"many", 0, Admission::beyond_limit},
    };
    for (const Case& c : cases) {
        PortMapping m = test::relay_mapping("TCP", "m", 1, "127.0.0.1", 9);
        m.max_sessions = c.max_sessions;
        const Admission got = check_session_limit(m, c.count);
        EXPECT_EQ(got, c.expected) << "max_sessions \"" << c.max_sessions << "\", " << c.count
                                   << " sessions: got " << admission_name(got);
    }
}

// The destination a client gets, as "d_ip:d_port", or "none".
std::string route(const PortMapping& m, const char* client, std::uint64_t counter) {
    const std::optional<Destination> d = choose_destination(m, client, counter);
    return d ? d->d_ip + ":" + d->d_port : "none";
}

TEST(Routing, ByIncomingAddressTable) {
    PortMapping m = test::relay_mapping("TCP", "m", 1, "enable smart route", 0);
    m.enable_smart = "1";
    m.smart_strategy = "0";
    m.smart_ip_range = {route_entry("10.0.0.0", "10.0.0.255", "127.0.0.1", "7001"),
                        route_entry("192.168.0.0", "192.168.0.255", "127.0.0.2", "7002"),
                        route_entry("192.168.0.7", "192.168.0.7", "127.0.0.3", "7003")};
    struct Case {
        const char* client;
        const char* expected;
    };
    const Case cases[] = {
        {"192.168.0.7", "127.0.0.2:7002"},    // the first matching entry wins
        {"10.0.0.0", "127.0.0.1:7001"},       // inclusive start
        {"192.168.0.255", "127.0.0.2:7002"},  // inclusive end
        {"172.16.0.1", "127.0.0.1:7001"},     // no match: the first entry
        {"no-address", "127.0.0.1:7001"},     // reads as 255.255.255.255: no match
    };
    for (const Case& c : cases) {
        EXPECT_EQ(route(m, c.client, 0), c.expected) << "client " << c.client;
    }
    m.smart_ip_range.clear();
    EXPECT_EQ(route(m, "10.0.0.1", 0), "none") << "an empty route list";
}

TEST(Routing, RoundRobinWrapsAndIgnoresTheRanges) {
    PortMapping m = test::relay_mapping("TCP", "m", 1, "enable smart route", 0);
    m.enable_smart = "1";
    m.smart_strategy = "1";
    m.smart_ip_range = {route_entry("0.0.0.0", "255.255.255.255", "127.0.0.9", "7009")};
    m.smart_round_robin = {target("127.0.0.1", "7001"), target("127.0.0.2", "7002"),
                           target("127.0.0.3", "7003")};
    const char* const expected[] = {"127.0.0.1:7001", "127.0.0.2:7002", "127.0.0.3:7003",
                                    "127.0.0.1:7001", "127.0.0.2:7002"};
    for (std::uint64_t counter = 0; counter < std::size(expected); ++counter) {
        EXPECT_EQ(route(m, "10.0.0.1", counter), expected[counter]) << "counter " << counter;
    }
    EXPECT_EQ(route(m, "10.0.0.1", 0xFFFFFFFFFFFFFFFFull), "127.0.0.1:7001")
        << "the largest counter wraps without overflow";
    m.smart_round_robin.clear();
    EXPECT_EQ(route(m, "10.0.0.1", 7), "none") << "an empty round-robin list";
}

}  // namespace
}  // namespace zk
