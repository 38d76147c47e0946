#include <gtest/gtest.h>

#include "core/port_mapping.h"
#include "core/validation.h"
#include "support/mapping_builder.h"

namespace zk {
namespace {

PortMapping range_mapping(const char* destination_port_type) {
    PortMapping m{};
    m.listen_port_type = "1";
    m.listen_port = "8000";
    m.listen_port_end = "8003";
    m.destination_port_type = destination_port_type;
    m.destination_port = "9000";
    m.destination_port_end = "9003";
    return m;
}

TEST(PortMapping, NewRecordHasEveryFlagOff) {
    const PortMapping m{};
    EXPECT_TRUE(m.name.empty());
    EXPECT_TRUE(m.allow_ip.empty() && m.block_ip.empty() && m.smart_ip_range.empty() &&
                m.smart_round_robin.empty());
    EXPECT_FALSE(is_yes(m.auto_start) || is_yes(m.http_proxy) || is_yes(m.ssl_enable));
    EXPECT_FALSE(is_set(m.enable_log) || is_set(m.enable_ip_strategy) || is_set(m.enable_smart));
}

TEST(PortMapping, FixedTextCutsAtItsSize) {
    PortMapping m{};
    m.listen_port = std::string(40, '7');
    EXPECT_EQ(m.listen_port.view(), std::string(19, '7'));
    m.name = std::string_view("ab\0cd", 5);
    EXPECT_EQ(m.name.view(), "ab");
}

TEST(PortMapping, RangeDerivedValues) {
    const PortMapping ranged = range_mapping("1");
    EXPECT_EQ(listen_ports(ranged), (std::vector<int>{8000, 8001, 8002, 8003}));
    EXPECT_EQ(destination_port_for(ranged, 8002), 9002);
    EXPECT_EQ(listen_port_text(ranged), "8000-8003");
    EXPECT_EQ(destination_port_text(ranged), "9000-9003");

    const PortMapping fixed = range_mapping("0");
    for (int port : listen_ports(fixed))
        EXPECT_EQ(destination_port_for(fixed, port), 9000);
    EXPECT_EQ(destination_port_text(fixed), "9000");
}

TEST(PortMapping, ListenPortsEdgeCases) {
    PortMapping m = range_mapping("1");
    m.listen_port_end = "7999";
    EXPECT_TRUE(listen_ports(m).empty()) << "a range ending below its start has no port";
    m.listen_port_type = "0";
    EXPECT_EQ(listen_ports(m), std::vector<int>{8000});
    m.listen_port_type = "x";  // anything but "0" is a range to the engine...
    m.listen_port_end = "8001";
    EXPECT_EQ(listen_ports(m).size(), 2u);
    EXPECT_EQ(listen_port_text(m), "8000") << "...and anything but \"1\" is single to the list";
    m.listen_port = "1";
    m.listen_port_end = "2000000000";
    EXPECT_EQ(listen_ports(m).size(), 65536u) << "a hand-made huge range stays bounded";
}

TEST(PortMapping, TextToIntReadsLeadingDigits) {
    const std::pair<const char*, int> cases[] = {{"", 0},
                                                 {"abc", 0},
                                                 {"80", 80},
                                                 {"12x", 12},
                                                 {" 7", 7},
                                                 {"-5", -5},
                                                 {"99999999999", INT_MAX}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(text_to_int(text), value) << text;
}

TEST(PortMapping, SessionLimitText) {
    PortMapping m{};
    EXPECT_EQ(session_limit_text(m), "unlimited");
    m.max_sessions = "2";
    EXPECT_EQ(session_limit_text(m), "2");
}

TEST(PortMapping, CopyIsDeep) {
    PortMapping source{};
    for (const char* a : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
        IpRange r{};
        r.start = a;
        r.end = a;
        source.allow_ip.push_back(r);
    }
    PortMapping copy = source;
    copy.allow_ip.erase(copy.allow_ip.begin());
    EXPECT_EQ(source.allow_ip.size(), 3u);
    EXPECT_EQ(copy.allow_ip.size(), 2u);
}

struct ValidationCase {
    const char* label;
    void (*edit)(PortMapping&);
    EditKind kind;
    const char* message;  // nullptr: accepted
};

PortMapping valid_mapping() {
    return test::relay_mapping("TCP", "new", 8080, "127.0.0.1", 80);
}

TEST(Validation, ChecksRunInOrder) {
    const ValidationCase cases[] = {
        {"valid", [](PortMapping&) {}, EditKind::add, nullptr},
        {"empty name", [](PortMapping& m) { m.name = ""; }, EditKind::add,
         "invalid name, please reenter again!"},
        {"empty name before empty port",
         [](PortMapping& m) {
             m.name = "";
             m.listen_port = "";
         },
         EditKind::add, "invalid name, please reenter again!"},
        {"duplicate name on add", [](PortMapping& m) { m.name = "web"; }, EditKind::add,
         "port mapping name already exist, please reenter again!"},
        {"duplicate name on edit", [](PortMapping& m) { m.name = "web"; }, EditKind::edit, nullptr},
        {"name differing in case", [](PortMapping& m) { m.name = "Web"; }, EditKind::add, nullptr},
        {"empty listen port", [](PortMapping& m) { m.listen_port = ""; }, EditKind::add,
         "invalid listen port, please reenter again!"},
        {"empty destination", [](PortMapping& m) { m.destination_ip = ""; }, EditKind::add,
         "invalid destination ip address, please reenter again!"},
        {"empty destination port", [](PortMapping& m) { m.destination_port = ""; }, EditKind::add,
         "invalid destination port, please reenter again!"},
        {"range without end",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port_end = "";
         },
         EditKind::add, "invalid end range of listen port, please reenter again!"},
        {"range end equal to start",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port_end = "8080";
         },
         EditKind::add,
         "the end range of listen port must larger than the start range of listen port, please "
         "reenter again!"},
        {"range of two",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port_end = "8081";
         },
         EditKind::add, nullptr},
        {"line break in name", [](PortMapping& m) { m.name = "a\nfake line"; }, EditKind::edit,
         "invalid name, please reenter again!"},
        {"escape in name", [](PortMapping& m) { m.name = "a\x1b[2Jb"; }, EditKind::add,
         "invalid name, please reenter again!"},
        {"DEL in name", [](PortMapping& m) { m.name = "a\x7f"; }, EditKind::add,
         "invalid name, please reenter again!"},
        {"8-bit name", [](PortMapping& m) { m.name = "caf\xE9"; }, EditKind::add, nullptr},
        {"listen port text", [](PortMapping& m) { m.listen_port = "abc"; }, EditKind::add,
         "invalid listen port, please reenter again!"},
        {"listen port 0", [](PortMapping& m) { m.listen_port = "0"; }, EditKind::add,
         "invalid listen port, please reenter again!"},
        {"listen port 65536", [](PortMapping& m) { m.listen_port = "65536"; }, EditKind::add,
         "invalid listen port, please reenter again!"},
        {"listen port 65535", [](PortMapping& m) { m.listen_port = "65535"; }, EditKind::add,
         nullptr},
        {"huge negative end",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port_end = "-9999999999";
         },
         EditKind::add, "invalid end range of listen port, please reenter again!"},
        {"huge negative start",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port = "-9999999999";
             m.listen_port_end = "9999999999";
         },
         EditKind::add, "invalid listen port, please reenter again!"},
        {"range end beyond the last port",
         [](PortMapping& m) {
             m.listen_port_type = "1";
             m.listen_port_end = "70000";
         },
         EditKind::add, "invalid end range of listen port, please reenter again!"},
    };
    MappingTable table(1);
    table[0].name = "web";
    for (const ValidationCase& c : cases) {
        PortMapping m = valid_mapping();
        c.edit(m);
        const auto message = validate_mapping(m, table, c.kind);
        if (c.message == nullptr) {
            EXPECT_FALSE(message.has_value()) << c.label << ": " << message.value_or("");
        } else {
            EXPECT_EQ(message.value_or("(accepted)"), c.message) << c.label;
        }
    }
}

TEST(Validation, IpRangeEndDefaultsToStart) {
    IpRange r{};
    EXPECT_EQ(complete_ip_range(r).value_or(""), "invalid from ip address, please reenter again!");
    r.start = "192.0.2.7";
    EXPECT_FALSE(complete_ip_range(r).has_value());
    EXPECT_EQ(r.end.view(), "192.0.2.7");
}

}  // namespace
}  // namespace zk
