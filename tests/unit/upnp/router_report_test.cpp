// The router command from search to listing, against scripted gateways on loopback.
#include "upnp/router_report.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/scripted_gateway.h"

namespace zk {
namespace {

using test::GatewayScript;
using test::ScriptedGateway;
using test::soap_reply;

const char* const kNoRouter =
    "Failed to find a router.Please make sure your router's UPnP option is enabled.If you still "
    "get this error,you should set your windows firewall or other firewall you installed,open "
    "port 1900 of UDP and port 2869 of TCP.";

std::string entry(const std::string& external_port, const std::string& client,
                  const std::string& description) {
    return soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                      test::entry_fields(external_port, "TCP", "80", client, description));
}

GatewayScript working_gateway() {
    GatewayScript script;
    script.description = test::description_xml("", std::string(kServiceWanIp), "/ctl/IPConn");
    script.external_address_reply =
        soap_reply({"s:", "u:", ""}, "GetExternalIPAddressResponse",
                   "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>");
    script.entry_replies = {entry("8080", "192.168.1.10", "web"),
                            entry("2222", "192.168.1.11", "ssh")};
    return script;
}

TEST(RouterReportTest, ListsTheAddressAndTheMappings) {
    ScriptedGateway gateway(working_gateway());
    const RouterReport report = run_router_command(gateway.options());
    ASSERT_FALSE(report.failure) << *report.failure << " / " << report.detail;
    EXPECT_EQ(report.external_address, "203.0.113.7");
    const std::vector<std::string> lines = {"8080/TCP[web]-->192.168.1.10:80",
                                            "2222/TCP[ssh]-->192.168.1.11:80"};
    EXPECT_EQ(report.lines, lines);
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[1].description, "ssh");
    EXPECT_EQ(format_router_report(report),
              "203.0.113.7\n8080/TCP[web]-->192.168.1.10:80\n2222/TCP[ssh]-->192.168.1.11:80\n");
}

TEST(RouterReportTest, EachFailingStepGivesItsOwnMessage) {
    struct Case {
        const char* label;
        GatewayScript script;
        const char* failure;   // nullptr: the command succeeds
        std::string expected;  // the failure's detail, or on success the address
    };
    std::vector<Case> cases;
    {
        GatewayScript script = working_gateway();
        script.search_targets = {};  // nobody answers
        cases.push_back({"no gateway", script, kNoRouter, "Fail to find an UPNP NAT.\n"});
    }
    {
        GatewayScript script = working_gateway();
        script.description = "no description here";
        cases.push_back({"description without XML", script, "Failed to parse router's description!",
                         "The device descripe XML file is not a valid XML file. Cann't find root "
                         "element.\n"});
    }
    {
        GatewayScript script = working_gateway();
        script.description =
            test::description_xml("", "urn:schemas-upnp-org:service:Layer3Forwarding:1", "/ctl");
        cases.push_back({"no WAN connection service", script,
                         "Failed to parse router's description!",
                         "can't find  \" SERVICE_WANIP \" or \" SERVICE_WANPPP \" service.\n"});
    }
    {
        GatewayScript script = working_gateway();
        script.entry_replies[1] = soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                                             "<NewExternalPort>1</NewExternalPort>");
        cases.push_back({"unreadable entry", script, "Failed to get router's port mappings!",
                         "Fail to get mapping info from response data.(NO \"NewProtocol\" "
                         "node.)\n"});
    }
    {
        GatewayScript script = working_gateway();
        script.entry_replies = {};
        cases.push_back({"empty table", script, nullptr, "203.0.113.7"});
    }
    {
        GatewayScript script = working_gateway();
        script.external_address_reply = test::soap_fault(501);
        cases.push_back({"address refused", script, nullptr, ""});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScriptedGateway gateway(c.script);
        const RouterReport report = run_router_command(gateway.options());
        if (c.failure == nullptr) {
            ASSERT_FALSE(report.failure) << *report.failure << " / " << report.detail;
            EXPECT_EQ(report.lines.size(), c.script.entry_replies.size());
            EXPECT_EQ(report.external_address, c.expected);
            continue;
        }
        ASSERT_TRUE(report.failure);
        EXPECT_EQ(*report.failure, c.failure);
        EXPECT_EQ(report.detail, c.expected);
        EXPECT_EQ(format_router_report(report), std::string(c.failure) + "\n");
        EXPECT_TRUE(report.lines.empty());
    }
}

TEST(RouterReportTest, PrintedGatewayTextsCarryNoControlCharacters) {
    using namespace std::string_literals;
    struct Case {
        const char* label;
        std::string text;  // as the gateway sent it
        std::string shown;
    } const cases[] = {
        {"escape sequence", "web\x1b[2J\x1b]0;title\x07", "web?[2J?]0;title?"},
        {"carriage return and line feed", "a\rb\nc", "a?b?c"},
        {"tab, NUL and DEL", "t\tn\0d\x7f"s, "t?n?d?"},
        {"C1 control in UTF-8",
         "csi\xc2\x9b"
         "2J",
         "csi?2J"},
        {"bytes that are no UTF-8", "bad\xff\xc0\xaf\xed\xa0\x80", "bad??????"},
        {"character cut off at the end", "cut\xe2\x82", "cut??"},
        {"ordinary UTF-8", "caf\xc3\xa9 \xe7\xab\xaf\xe5\x8f\xa3 \xf0\x9f\x99\x82 ~",
         "caf\xc3\xa9 \xe7\xab\xaf\xe5\x8f\xa3 \xf0\x9f\x99\x82 ~"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RouterReport report;
        report.external_address = c.text;
        report.lines = {"8080/TCP[" + c.text + "]-->192.168.1.10:80"};
        EXPECT_EQ(format_router_report(report),
                  c.shown + "\n8080/TCP[" + c.shown + "]-->192.168.1.10:80\n");
    }
}

TEST(RouterReportTest, AnUnknownExternalAddressIsSaidSo) {
    GatewayScript script = working_gateway();
    script.external_address_reply = test::soap_fault(501);
    ScriptedGateway gateway(script);
    const RouterReport report = run_router_command(gateway.options());
    ASSERT_FALSE(report.failure) << *report.failure << " / " << report.detail;
    EXPECT_EQ(format_router_report(report),
              "unknown (the gateway did not tell its external address)\n"
              "8080/TCP[web]-->192.168.1.10:80\n2222/TCP[ssh]-->192.168.1.11:80\n");
}

TEST(RouterReportTest, UnreachableDescriptionIsReportedAsSuch) {
    // The search answer points at a port where nothing listens.
    const test::ClosedPort closed;
    const std::string port = std::to_string(closed.port());
    const std::string location = "http://127.0.0.1:" + port + "/rootDesc.xml";
    test::SsdpResponder responder({"upnp:rootdevice"},
                                  {"HTTP/1.1 200 OK\r\nLOCATION: " + location + "\r\n\r\n"});
    UpnpOptions options;
    options.tries = 2;
    options.search_address = "127.0.0.1";
    options.search_port = responder.port();
    options.connect_pause = std::chrono::milliseconds(0);
    const RouterReport report = run_router_command(options);
    ASSERT_TRUE(report.failure);
    EXPECT_EQ(*report.failure, "Failed to get router's description!");
    EXPECT_EQ(report.detail, "Fail to connect to 127.0.0.1:" + port + " (using TCP)\n");
}

}  // namespace
}  // namespace zk
