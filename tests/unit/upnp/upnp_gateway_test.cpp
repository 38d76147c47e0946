// The client against a scripted gateway on loopback: search, description and SOAP exchanges.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/scripted_gateway.h"
#include "upnp/upnp_nat.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using test::entry_fields;
using test::GatewayScript;
using test::ScriptedGateway;
using test::soap_reply;
using test::SsdpResponder;

constexpr std::string_view kSearch =
    "M-SEARCH * HTTP/1.1\r\nST:UPnP:rootdevice\r\nMX: 3\r\nMan:\"ssdp:discover\"\r\n"
    "HOST: 239.255.255.250:1900\r\n\r\n";
constexpr std::string_view kStandardSearch =
    "M-SEARCH * HTTP/1.1\r\nST:upnp:rootdevice\r\nMX: 3\r\nMan:\"ssdp:discover\"\r\n"
    "HOST: 239.255.255.250:1900\r\n\r\n";

const test::SoapPrefixes kPrefixed{"s:", "u:", ""};
const test::SoapPrefixes kUnprefixed{"", "", ""};

std::string address_reply(const test::SoapPrefixes& prefixes, const std::string& address) {
    return soap_reply(prefixes, "GetExternalIPAddressResponse",
                      "<NewExternalIPAddress>" + address + "</NewExternalIPAddress>");
}

std::string entry_reply(const test::SoapPrefixes& prefixes, const std::string& external_port,
                        const std::string& client, const std::string& field_prefix = "") {
    return soap_reply(prefixes, "GetGenericPortMappingEntryResponse",
                      entry_fields(external_port, "TCP", "80", client, "web", field_prefix));
}

GatewayScript ip_gateway() {
    GatewayScript script;
    script.description = test::description_xml("", std::string(kServiceWanIp), "/ctl/IPConn");
    script.external_address_reply = address_reply(kPrefixed, "203.0.113.7");
    return script;
}

// Runs the three steps that find the control URL; every later action needs them.
void prepare(UpnpNat& client) {
    ASSERT_TRUE(client.discovery()) << client.last_error();
    ASSERT_TRUE(client.get_description()) << client.last_error();
    ASSERT_TRUE(client.parser_description()) << client.last_error();
}

TEST(UpnpGatewayTest, SearchTakesTheFirstFittingReplyToEitherTarget) {
    const std::vector<std::string> replies = {
        "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\nUSN: uuid:1\r\n\r\n",             // no URL
        "HTTP/1.1 404 Not Found\r\nLOCATION: http://127.0.0.2/x.xml\r\n\r\n",        // no 200 OK
        "HTTP/1.1 200 OK\r\nLOCATION: http://192.168.1.1:5431/dyndev/uuid\r\n\r\n",  // fits
    };
    for (const char* target : {"upnp:rootdevice", "UPnP:rootdevice"}) {
        SCOPED_TRACE(target);
        SsdpResponder responder({target}, replies);
        UpnpOptions options;
        options.tries = 3;
        options.search_address = "127.0.0.1";
        options.search_port = responder.port();
        UpnpNat client(options);
        ASSERT_TRUE(client.discovery()) << client.last_error();
        EXPECT_EQ(client.describe_url(), "http://192.168.1.1:5431/dyndev/uuid");
        ASSERT_TRUE(test::wait_for([&] { return responder.searches().size() >= 2; }, 5s));
        EXPECT_EQ(responder.searches()[0], kSearch);
        EXPECT_EQ(responder.searches()[1], kStandardSearch);
    }
}

TEST(UpnpGatewayTest, SearchWaitsNoLongerThanTheExchangeLimit) {
    const std::string reply = "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1:5431/d.xml\r\n\r\n";
    struct Case {
        const char* label;
        std::chrono::milliseconds exchange_limit;
        bool found;
    } const cases[] = {
        {"answer after the limit", 1s, false},
        {"answer within the limit", 30s, true},  // positive control: the answer does come
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SsdpResponder late({"upnp:rootdevice"}, {reply}, 3s);
        UpnpOptions options;
        options.tries = 10;
        options.search_address = "127.0.0.1";
        options.search_port = late.port();
        options.exchange_limit = c.exchange_limit;
        UpnpNat client(options);
        EXPECT_EQ(client.discovery(), c.found) << client.last_error();
    }
}

TEST(UpnpGatewayTest, NoGatewayFailsAfterItsTries) {
    SsdpResponder silent({}, {});
    UpnpOptions options;
    options.tries = 2;
    options.search_address = "127.0.0.1";
    options.search_port = silent.port();
    UpnpNat client(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.discovery());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);  // two one-second passes
    EXPECT_EQ(client.last_error(), "Fail to find an UPNP NAT.\n");
    EXPECT_TRUE(test::wait_for([&] { return silent.searches().size() == 2; }, 5s));
}

TEST(UpnpGatewayTest, RequestsGoOutByteForByte) {
    GatewayScript script = ip_gateway();
    script.entry_replies = {entry_reply(kPrefixed, "8080", "192.168.1.10")};
    ScriptedGateway gateway(script);
    UpnpNat client(gateway.options());
    prepare(client);
    EXPECT_EQ(client.describe_url(), gateway.base() + "/rootDesc.xml");
    EXPECT_EQ(client.control_url(), gateway.base() + "/ctl/IPConn");
    std::string address;
    ASSERT_TRUE(client.get_external_address(address)) << client.last_error();
    ASSERT_TRUE(client.get_port_mappings()) << client.last_error();

    const std::string host = "127.0.0.1:" + gateway.base().substr(gateway.base().rfind(':') + 1);
    const auto post = [&](const std::string& action, const std::string& arguments) {
        const std::string body =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
            "<s:Body>\r\n"
            "<u:" +
            action + " xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">\r\n" +
            arguments + "</u:" + action + ">\r\n</s:Body>\r\n</s:Envelope>\r\n";
        return "POST /ctl/IPConn HTTP/1.1\r\nHOST: " + host +
               "\r\nSOAPACTION:\"urn:schemas-upnp-org:service:WANIPConnection:1#" + action +
               "\"\r\nCONTENT-TYPE: text/xml ; charset=\"utf-8\"\r\nContent-Length: " +
               std::to_string(body.size()) + " \r\n\r\n" + body;
    };
    const auto entry = [](int index) {
        return "<NewPortMappingIndex>" + std::to_string(index) +
               "</NewPortMappingIndex><NewRemoteHost></NewRemoteHost>\r\n<NewExternalPort>"
               "</NewExternalPort>\r\n<NewProtocol></NewProtocol>\r\n<NewInternalPort>"
               "</NewInternalPort>\r\n<NewInternalClient></NewInternalClient>\r\n<NewEnabled>1"
               "</NewEnabled>\r\n<NewPortMappingDescription></NewPortMappingDescription>\r\n"
               "<NewLeaseDuration></NewLeaseDuration>\r\n";
    };
    const std::vector<std::string> expected = {
        "GET /rootDesc.xml HTTP/1.1\r\nHost: " + host + "\r\n\r\n",
        post("GetExternalIPAddress", ""),
        post("GetGenericPortMappingEntry", entry(0)),
        post("GetGenericPortMappingEntry", entry(1)),
    };
    EXPECT_EQ(gateway.requests(), expected);
}

TEST(UpnpGatewayTest, PortMappingsReadUntilTheGatewayRefuses) {
    struct Case {
        const char* label;
        std::vector<std::string> entries;
        std::vector<std::string> lines;
    } const cases[] = {
        {"empty table", {}, {}},
        {"two entries, prefixed",
         {entry_reply(kPrefixed, "8080", "192.168.1.10"),
          entry_reply(kPrefixed, "8443", "192.168.1.11")},
         {"8080/TCP[web]-->192.168.1.10:80\r\n", "8443/TCP[web]-->192.168.1.11:80\r\n"}},
        {"two entries, unprefixed and m:",
         {entry_reply(kUnprefixed, "8080", "192.168.1.10"),
          entry_reply({"SOAP-ENV:", "m:", ""}, "22", "192.168.1.12", "m:")},
         {"8080/TCP[web]-->192.168.1.10:80\r\n", "22/TCP[web]-->192.168.1.12:80\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        GatewayScript script = ip_gateway();
        script.entry_replies = c.entries;  // then the 713 fault (index past the table)
        ScriptedGateway gateway(script);
        UpnpNat client(gateway.options());
        prepare(client);
        ASSERT_TRUE(client.get_port_mappings()) << client.last_error();
        EXPECT_EQ(client.mapping_lines(), c.lines);
        EXPECT_EQ(client.mapping_entries().size(), c.lines.size());
        EXPECT_EQ(client.last_error(),
                  "Totally " + std::to_string(c.lines.size()) + " mapping entries.\n");
        // One request per entry and one for the index that was refused, after the GET.
        const std::vector<std::string> requests = gateway.requests();
        ASSERT_EQ(requests.size(), c.lines.size() + 2);
        EXPECT_NE(requests.back().find("<NewPortMappingIndex>" + std::to_string(c.lines.size()) +
                                       "</NewPortMappingIndex>"),
                  std::string::npos);
    }
}

TEST(UpnpGatewayTest, PortMappingsStopAfterTheEntryLimit) {
    GatewayScript script = ip_gateway();
    script.past_end_reply = entry_reply(kPrefixed, "8080", "192.168.1.10");  // never refuses
    ScriptedGateway gateway(script);
    UpnpNat client(gateway.options());
    prepare(client);
    ASSERT_TRUE(client.get_port_mappings()) << client.last_error();
    EXPECT_EQ(client.mapping_entries().size(), static_cast<std::size_t>(kMaxMappingEntries));
    EXPECT_EQ(client.last_error(),
              "Totally " + std::to_string(kMaxMappingEntries) + " mapping entries.\n");
    EXPECT_EQ(gateway.requests().size(), static_cast<std::size_t>(kMaxMappingEntries) + 1);
}

TEST(UpnpGatewayTest, ExternalAddressReplies) {
    const std::string missing_address =
        "Fail to get mapping info from response data.(NO \"NewExternalIPAddress\" node.)\n";
    const std::string long_address(60, '9');
    struct Case {
        const char* label;
        std::string reply;
        bool ok;
        std::string expected;  // the address, or the error text
    } const cases[] = {
        {"prefixed", address_reply(kPrefixed, "203.0.113.7"), true, "203.0.113.7"},
        {"unprefixed", address_reply(kUnprefixed, "203.0.113.7"), true, "203.0.113.7"},
        {"empty address element", address_reply(kPrefixed, ""), true, ""},
        {"longer than the field", address_reply(kPrefixed, long_address), true,
         long_address.substr(0, kExternalAddressMax)},
        {"no address element",
         soap_reply(kPrefixed, "GetExternalIPAddressResponse", "<NewOther>1</NewOther>"), false,
         missing_address},
        {"other response", soap_reply(kPrefixed, "GetStatusInfoResponse", ""), false,
         "Fail to get mapping info from response data.(NO \"u:GetExternalIPAddressResponse\" "
         "node.)\n"},
        {"fault", test::soap_fault(501), false, "Fail to get router internet ip.\n"},
        {"not XML", "HTTP/1.1 200 OK\r\n\r\n<<", false,
         "Fail to get mapping info from response data.(NO \"SOAP-ENV:Envelope\" node.)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        GatewayScript script = ip_gateway();
        script.external_address_reply = c.reply;
        ScriptedGateway gateway(script);
        UpnpNat client(gateway.options());
        prepare(client);
        std::string address = "unchanged";
        ASSERT_EQ(client.get_external_address(address), c.ok) << client.last_error();
        EXPECT_EQ(c.ok ? address : client.last_error(), c.expected);
    }
}

TEST(UpnpGatewayTest, GatewayThatNeverClosesItsConnections) {
    GatewayScript script = ip_gateway();
    script.keep_open = true;  // the gateway's options shorten the reply limit for this
    script.entry_replies = {entry_reply(kPrefixed, "8080", "192.168.1.10")};
    ScriptedGateway gateway(script);
    UpnpNat client(gateway.options());
    prepare(client);
    std::string address;
    ASSERT_TRUE(client.get_external_address(address)) << client.last_error();
    EXPECT_EQ(address, "203.0.113.7");
    ASSERT_TRUE(client.get_port_mappings()) << client.last_error();
    EXPECT_EQ(client.mapping_lines().size(), 1u);
}

TEST(UpnpGatewayTest, TricklingRepliesEndAtTheExchangeDeadline) {
    // The chosen reply trickles one byte per half second, so it never falls silent for
    // reply_limit.
    struct Case {
        const char* label;
        const char* trickled_request;
        const char* address;  // what the exchanges before the trickled one found
    } const cases[] = {
        {"description", "GET ", ""},
        {"external address", "#GetExternalIPAddress\"", ""},
        {"mapping entry", "#GetGenericPortMappingEntry\"", "203.0.113.7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GatewayScript script = ip_gateway();
        script.entry_replies = {entry_reply(kPrefixed, "8080", "192.168.1.10")};
        script.trickle_when = c.trickled_request;
        ScriptedGateway gateway(script);
        UpnpOptions options = gateway.options();
        options.exchange_limit = 1s;
        UpnpNat client(options);
        ASSERT_TRUE(client.discovery()) << client.last_error();
        // The steps before the trickled one succeed; the trickled one fails.
        bool ok = client.get_description() && client.parser_description();
        std::string address;
        ok = ok && client.get_external_address(address) && client.get_port_mappings();
        EXPECT_FALSE(ok);
        EXPECT_EQ(client.last_error(), "The gateway did not complete its reply within 1000 ms.\n");
        EXPECT_EQ(address, c.address);
    }
}

TEST(UpnpGatewayTest, RepliesLongerThanTheLimitFailTheirExchange) {
    const std::string description = test::description_xml("", std::string(kServiceWanIp), "/c");
    // Padding after the document: harmless to the parser, so only the length can refuse it.
    const auto padded = [](std::string reply, std::size_t size) {
        return reply + std::string(size - reply.size(), ' ');
    };
    const std::string too_long =
        "The gateway's reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes.\n";
    struct Case {
        const char* label;
        std::string description;  // the whole HTTP reply to the description request
        std::string entry;        // the whole HTTP reply for index 0
        std::string error;        // empty: the listing succeeds with one entry
    } const cases[] = {
        {"description at the limit", padded(test::http_ok(description), kMaxReplyBytes),
         entry_reply(kPrefixed, "8080", "192.168.1.10"), ""},
        {"description one byte over", padded(test::http_ok(description), kMaxReplyBytes + 1),
         entry_reply(kPrefixed, "8080", "192.168.1.10"), too_long},
        {"entry one byte over", test::http_ok(description),
         padded(entry_reply(kPrefixed, "8080", "192.168.1.10"), kMaxReplyBytes + 1), too_long},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GatewayScript script = ip_gateway();
        script.description_reply = c.description;
        script.entry_replies = {c.entry};
        ScriptedGateway gateway(script);
        UpnpNat client(gateway.options());
        ASSERT_TRUE(client.discovery()) << client.last_error();
        const bool ok =
            client.get_description() && client.parser_description() && client.get_port_mappings();
        EXPECT_EQ(ok, c.error.empty()) << client.last_error();
        EXPECT_EQ(client.last_error(), ok ? "Totally 1 mapping entries.\n" : c.error);
        EXPECT_LE(client.description().size(), kMaxReplyBytes + 1);
        EXPECT_LE(client.mapping_info().size(), kMaxReplyBytes + 1);
    }
}

TEST(UpnpGatewayTest, EntryTextsAreClippedAtACharacterBoundary) {
    std::string long_text = "x";
    for (std::size_t i = 0; i < kMaxEntryTextBytes / 2 + 10; ++i)
        long_text += "\xc3\xa9";  // two bytes each, so the cut falls inside one
    GatewayScript script = ip_gateway();
    script.entry_replies = {
        soap_reply(kPrefixed, "GetGenericPortMappingEntryResponse",
                   entry_fields(long_text, long_text, long_text, long_text, long_text))};
    ScriptedGateway gateway(script);
    UpnpNat client(gateway.options());
    prepare(client);
    ASSERT_TRUE(client.get_port_mappings()) << client.last_error();
    ASSERT_EQ(client.mapping_entries().size(), 1u);
    const std::string clipped = long_text.substr(0, kMaxEntryTextBytes - 1);
    ASSERT_EQ(clipped.size() % 2, 1u) << "the limit must cut a character for this test";
    const RouterPortMapping& entry = client.mapping_entries()[0];
    for (const std::string* text : {&entry.description, &entry.protocol, &entry.external_port,
                                    &entry.internal_client, &entry.internal_port}) {
        EXPECT_EQ(*text, clipped);
    }
    EXPECT_EQ(client.mapping_lines()[0],
              clipped + "/" + clipped + "[" + clipped + "]-->" + clipped + ":" + clipped + "\r\n");
}

TEST(UpnpGatewayTest, ConnectionAndUrlFailures) {
    test::ClosedPort closed;
    UpnpOptions options;
    options.tries = 2;
    options.connect_pause = 0ms;
    UpnpNat client(options);
    EXPECT_FALSE(client.tcp_connect("127.0.0.1", closed.port()));
    EXPECT_EQ(client.last_error(),
              "Fail to connect to 127.0.0.1:" + std::to_string(closed.port()) + " (using TCP)\n");
    EXPECT_FALSE(client.tcp_connect("gateway.local", 80));  // names are not resolved
    EXPECT_EQ(client.last_error(), "Fail to connect to gateway.local:80 (using TCP)\n");

    client.set_description("http://127.0.0.1:" + std::to_string(closed.port()) + "/d.xml", "");
    EXPECT_FALSE(client.get_description());
    client.set_description("http://192.168.1.1:5431", "");
    EXPECT_FALSE(client.get_description());
    EXPECT_EQ(client.last_error(), "Failed to parseURl: http://192.168.1.1:5431\n");
    // Without a control URL the actions report the description URL, as they always have.
    std::string address;
    EXPECT_FALSE(client.get_external_address(address));
    EXPECT_EQ(client.last_error(), "Fail to parseURl: http://192.168.1.1:5431\n");
    EXPECT_FALSE(client.get_port_mappings());
    EXPECT_EQ(client.last_error(), "Fail to parseURl: http://192.168.1.1:5431\n");
}

}  // namespace
}  // namespace zk
