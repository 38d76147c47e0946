// The add and edit forms' bodies turned into mapping records.

#include <gtest/gtest.h>

#include <array>

#include "web/form_body.h"

namespace zk {
namespace {

std::string post(const std::string& body) {
    return "POST /?action=newdone&sessionid=0 HTTP/1.1\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

PortMapping parsed(const std::string& body) {
    const auto m = parse_mapping_form(post(body));
    EXPECT_TRUE(m.has_value()) << body;
    return m.value_or(PortMapping{});
}

TEST(FormBody, PlainTcpMappingWithDefaults) {
    const PortMapping m = parsed(
        "port.name=web1&port.type=0&port.listen_port=8000&port.listen_port_end=&"
        "port.listen_port_single=0&port.d_ip=127.0.0.1&port.d_port=80&port.d_port_end=&"
        "port.d_port_single=0&port.max_sessions=&port.route_incoming_ip=0&"
        "port.route_incoming_ip_from=&method=OK");
    PortMapping expected;
    expected.name = "web1";
    expected.type = "TCP";
    expected.listen_port_type = "0";
    expected.listen_port = "8000";
    expected.destination_ip = "127.0.0.1";
    expected.destination_port_type = "0";
    expected.destination_port = "80";
    expected.destination_port_end = "0";
    expected.http_proxy = "N";
    expected.auto_start = "N";
    expected.enable_ip_strategy = "0";
    expected.enable_smart = "0";
    expected.enable_log = "0";
    expected.smart_strategy = "0";
    EXPECT_EQ(m, expected);
}

TEST(FormBody, RangesComputeTheLastDestinationPort) {
    const PortMapping m = parsed(
        "port.name=r&port.type=1&port.listen_port=8000&port.listen_port_end=8010&"
        "port.listen_port_range=1&port.d_ip=h&port.d_port=9000&port.d_port_end=1&"
        "port.d_port_range=1");
    EXPECT_EQ(m.type, "UDP");
    EXPECT_EQ(m.listen_port_type, "1");
    EXPECT_EQ(m.destination_port_type, "1");
    EXPECT_EQ(m.destination_port_end, "9010");
    EXPECT_EQ(listen_port_text(m), "8000-8010");
    EXPECT_EQ(destination_port_text(m), "9000-9010");
}

TEST(FormBody, ProxyModeAndItsLaterOverwrite) {
    const PortMapping proxy = parsed("port.name=p&port.type=1&port.runasproxy=on&port.d_port=0");
    EXPECT_EQ(proxy.destination_ip, "http proxy");
    EXPECT_EQ(proxy.http_proxy, "Y");
    EXPECT_EQ(proxy.type, "TCP");
    // A destination IP piece after the checkbox wins, even an empty one: the script leaves the
    // field out in proxy mode for this reason.
    EXPECT_EQ(parsed("port.name=p&port.runasproxy=on&port.d_ip=").destination_ip, "");
}

TEST(FormBody, SmartRouteOverridesTheDestination) {
    const PortMapping m = parsed(
        "port.name=s&port.d_ip=10.1.1.1&port.d_port=99&port.enable_smart=on&"
        "port.round_robin=1&port.round_robin_datas=127.0.0.1|7001&"
        "port.round_robin_datas=127.0.0.2|7002&port.route_datas=127.0.0.1|127.0.0.9|"
        "127.0.0.3|7003&port.enable_ip_strategy=1&port.allow_ip_ranges=127.0.0.1|"
        "127.0.0.5&port.block_ip_ranges=127.0.0.6|127.0.0.7&port.autostartup=on");
    EXPECT_EQ(m.destination_ip, "enable smart route");
    EXPECT_EQ(m.destination_port, "0");
    EXPECT_EQ(m.enable_smart, "1");
    EXPECT_EQ(m.smart_strategy, "1");
    EXPECT_EQ(m.auto_start, "Y");
    EXPECT_EQ(m.enable_ip_strategy, "1");
    ASSERT_EQ(m.smart_round_robin.size(), 2u);
    EXPECT_EQ(m.smart_round_robin[1],
              (RoundRobinTarget{FixedText<255>("127.0.0.2"), FixedText<20>("7002")}));
    ASSERT_EQ(m.smart_ip_range.size(), 1u);
    EXPECT_EQ(m.smart_ip_range[0].d_ip, "127.0.0.3");
    EXPECT_EQ(m.smart_ip_range[0].d_port, "7003");
    ASSERT_EQ(m.allow_ip.size(), 1u);
    EXPECT_EQ(m.allow_ip[0].end, "127.0.0.5");
    ASSERT_EQ(m.block_ip.size(), 1u);
    EXPECT_EQ(m.block_ip[0].start, "127.0.0.6");
}

TEST(FormBody, SplitAtAmpersandsBeforeDecoding) {
    const PortMapping m = parsed("port.name=a+b%2Bc%26d%3De&port.d_ip=1%26port.max_sessions%3D7");
    EXPECT_EQ(m.name, "a b+c&d=e");
    // An encoded "&" or "=" stays inside its value: it cannot set another field.
    EXPECT_EQ(m.destination_ip, "1&port.max_sessions=7");
    EXPECT_EQ(m.max_sessions, "");
    // Keys are compared whole: a value that spells a key sets nothing.
    EXPECT_EQ(parsed("port.name=x&port.d_ip=port.type%3D0").type, "");
}

TEST(FormBody, MissingPortKindRadiosMeanSinglePorts) {
    const PortMapping m =
        parsed("port.name=x&port.listen_port=8000&port.d_ip=127.0.0.1&port.d_port=80");
    EXPECT_EQ(m.listen_port_type, "0");
    EXPECT_EQ(m.destination_port_type, "0");
    const PortMapping range = parsed("port.name=x&port.listen_port_range=1&port.d_port_range=1");
    EXPECT_EQ(range.listen_port_type, "1");
    EXPECT_EQ(range.destination_port_type, "1");
}

TEST(FormBody, NoBlankLineNoRecord) {
    EXPECT_FALSE(parse_mapping_form("POST / HTTP/1.1\r\nport.name=x").has_value());
    EXPECT_FALSE(form_name("POST / HTTP/1.1\r\n").has_value());
    EXPECT_EQ(form_name(post("nameless&port.type=0")), "");
    EXPECT_EQ(form_name(post("port.name=x=y&port.type=0")), "x=y");
}

TEST(SplitEntry, FollowsTheScanfPatterns) {
    struct Case {
        const char* value;
        std::array<const char*, 4> fields;
    } cases[] = {
        {"a|b|c|d", {"a", "b", "c", "d"}},
        {"a|b|c|d e", {"a", "b", "c", "d"}},  // the last field ends at white space
        {"a|b|c| d", {"a", "b", "c", "d"}},   // after skipping it
        {"a|b", {"a", "b", "", ""}},          // missing fields stay empty
        {"|b|c|d", {"", "", "", ""}},         // an empty field stops the scan
        {"a||c|d", {"a", "", "", ""}},
        {"a b|c|d|e|f", {"a b", "c", "d", "e|f"}},  // inner fields keep blanks; the last takes "|"
        {"", {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        std::array<std::string, 4> f;
        split_entry(c.value, f.data(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(f[i], c.fields[i]) << "value \"" << c.value << "\" field " << i;
    }
    std::array<std::string, 2> two;
    split_entry("1.2.3.4|80", two.data(), 2);
    EXPECT_EQ(two[0], "1.2.3.4");
    EXPECT_EQ(two[1], "80");
}

}  // namespace
}  // namespace zk
