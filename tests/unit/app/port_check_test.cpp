// What the port tester says it knows about a port: running mappings that listen on it and the
// gateway's forwardings of it.

#include "app/port_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/mapping_builder.h"

namespace zk {
namespace {

using Forwards = std::optional<std::vector<GatewayForward>>;

struct Table {
    MappingTable mappings;
    std::vector<ListRow> rows;

    void add(PortMapping mapping, std::string_view status) {
        rows.push_back(list_row(mapping, status, 0));
        mappings.push_back(std::move(mapping));
    }
};

PortMapping range_mapping(const char* name, int first, int last) {
    PortMapping m = test::relay_mapping("TCP", name, first, "127.0.0.1", first);
    m.listen_port_type = "1";
    m.listen_port_end = std::to_string(last);
    return m;
}

Table sample_table() {
    Table table;
    table.add(test::relay_mapping("TCP", "web", 8080, "127.0.0.1", 80), kStatusRunning);
    table.add(test::relay_mapping("TCP", "stopped web", 8080, "127.0.0.1", 81), kStatusStop);
    table.add(test::relay_mapping("UDP", "starting", 9000, "127.0.0.1", 9000), kStatusStarting);
    table.add(range_mapping("games", 7000, 7010), kStatusRunning);
    table.add(test::relay_mapping("UDP", "dns", 8080, "127.0.0.1", 53), kStatusRunning);
    return table;
}

const std::vector<GatewayForward> kRouterTable = {
    {"TCP", "8080", "192.168.1.20", "8080"},
    {"UDP", "7005", "192.168.1.21", "7005"},
    {"TCP", "7005", "192.168.1.22", "17005"},
};

TEST(PortCheck, LinesTellListenersAndForwardings) {
    struct Case {
        const char* label;
        Forwards forwards;
        const char* port;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"two running mappings on the port, one forwarding",
         kRouterTable,
         "8080",
         {"Zelkora listens on port 8080 (mapping \"web\").",
          "Zelkora listens on port 8080 (mapping \"dns\").",
          "The router forwards TCP 8080 to 192.168.1.20:8080."}},
        {"a port inside a running range, two forwardings",
         kRouterTable,
         "7005",
         {"Zelkora listens on port 7005 (mapping \"games\").",
          "The router forwards UDP 7005 to 192.168.1.21:7005.",
          "The router forwards TCP 7005 to 192.168.1.22:17005."}},
        {"a starting mapping does not listen yet; no forwarding",
         kRouterTable,
         "9000",
         {"No running mapping listens on port 9000: the tester will find it closed.",
          "The router has no forwarding for port 9000."}},
        {"the router's table not known",
         std::nullopt,
         "7010",
         {"Zelkora listens on port 7010 (mapping \"games\").", "The router's table is unknown."}},
        {"an empty router table",
         std::vector<GatewayForward>{},
         "7011",
         {"No running mapping listens on port 7011: the tester will find it closed.",
          "The router has no forwarding for port 7011."}},
        {"leading zeros name the same port",
         kRouterTable,
         "08080",
         {"Zelkora listens on port 8080 (mapping \"web\").",
          "Zelkora listens on port 8080 (mapping \"dns\").",
          "The router forwards TCP 8080 to 192.168.1.20:8080."}},
        {"no port typed", kRouterTable, "", {}},
        {"port 0", kRouterTable, "0", {}},
        {"port above 65535", kRouterTable, "70000", {}},
    };
    const Table table = sample_table();
    for (const Case& c : cases) {
        EXPECT_EQ(port_check_lines(table.mappings, table.rows, c.forwards, c.port), c.expected)
            << c.label;
    }
}

TEST(PortCheck, GatewayPortsThatAreNotNumbersMatchNothing) {
    const std::vector<GatewayForward> odd = {{"TCP", "", "192.168.1.20", "80"},
                                             {"TCP", "80x", "192.168.1.20", "80"},
                                             {"TCP", "80", "192.168.1.30", "80"}};
    const std::vector<std::string> expected = {
        "No running mapping listens on port 80: the tester will find it closed.",
        "The router forwards TCP 80 to 192.168.1.30:80."};
    EXPECT_EQ(port_check_lines({}, {}, odd, "80"), expected);
}

}  // namespace
}  // namespace zk
