// The client's readings of URLs, descriptions and entry replies, without a network.
#include <gtest/gtest.h>

#include <string>

#include "support/scripted_gateway.h"
#include "upnp/upnp_nat.h"

namespace zk {
namespace {

using test::description_xml;
using test::entry_fields;
using test::kIgdType;
using test::kWanConnectionType;
using test::kWanType;
using test::soap_reply;

TEST(UpnpParseTest, ParseUrl) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        int port;
        const char* path;
    } const cases[] = {
        {"http://192.168.1.1:5431/dyndev/uuid", true, "192.168.1.1", 5431, "/dyndev/uuid"},
        {"http://192.168.1.1/dyndev/uuid", true, "192.168.1.1", 80, "/dyndev/uuid"},
        {"http://192.168.1.1:5431/", true, "192.168.1.1", 5431, "/"},
        // A colon in the path is not a port separator.
        {"http://10.0.0.138/uuid:0000e068-20a0/WANIPConnection:1", true, "10.0.0.138", 80,
         "/uuid:0000e068-20a0/WANIPConnection:1"},
        {"http://10.0.0.1:49152x/c", true, "10.0.0.1", 49152, "/c"},  // leading digits
        {"http://10.0.0.1:/c", true, "10.0.0.1", 0, "/c"},
        {"http://192.168.1.1:5431", false, "", 0, ""},
        {"http://192.168.1.1", false, "", 0, ""},
        {"192.168.1.1:5431/desc.xml", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const std::optional<UrlParts> parts = UpnpNat::parseUrl(c.url);
        ASSERT_EQ(parts.has_value(), c.ok);
        if (!parts) continue;
        EXPECT_EQ(parts->host, c.host);
        EXPECT_EQ(parts->port, c.port);
        EXPECT_EQ(parts->path, c.path);
    }
}

std::string device(std::string_view type, const std::string& inner) {
    return "<device><deviceType>" + std::string(type) + "</deviceType>" + inner + "</device>";
}
std::string device_list(const std::string& inner) {
    return "<deviceList>" + inner + "</deviceList>";
}
std::string service_list(std::string_view type, const std::string& control) {
    return "<serviceList><service><serviceType>" + std::string(type) +
           "</serviceType><controlURL>" + control + "</controlURL></service></serviceList>";
}
std::string root(const std::string& inner) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>\r\n<root>" +
           inner + "</root>";
}
// The usual tree down to the connection device, which holds `inner`.
std::string down_to_connection(const std::string& inner) {
    return root(device(
        kIgdType, device_list(device(kWanType, device_list(device(kWanConnectionType, inner))))));
}

constexpr const char* kDescribeUrl = "http://192.168.1.1:5431/desc.xml";

TEST(UpnpParseTest, ParserDescriptionFailures) {
    const std::string l3f = "urn:schemas-upnp-org:service:Layer3Forwarding:1";
    struct Case {
        const char* label;
        const char* describe_url;
        std::string description;
        const char* error;
    } const cases[] = {
        {"no element", kDescribeUrl, "HTTP/1.1 200 OK\r\n\r\nno tree here",
         "The device descripe XML file is not a valid XML file. Cann't find root element.\n"},
        {"broken XML", kDescribeUrl, "<root><device></root",
         "The device descripe XML file is not a valid XML file. Cann't find root element.\n"},
        {"no base at all", "http://192.168.1.1", root(""),
         "Fail to get base_URL from XMLNode \"URLBase\" or describe_url.\n"},
        {"gateway type differs in case", kDescribeUrl,
         root(device("urn:schemas-upnp-org:device:internetgatewaydevice:1", "")),
         "Fail to find device \"urn:schemas-upnp-org:device:InternetGatewayDevice:1 \"\n"},
        {"gateway type with a suffix", kDescribeUrl, root(device(std::string(kIgdType) + ".1", "")),
         "Fail to find device \"urn:schemas-upnp-org:device:InternetGatewayDevice:1 \"\n"},
        {"gateway without deviceList", kDescribeUrl, root(device(kIgdType, "")),
         " Fail to find deviceList of device "
         "\"urn:schemas-upnp-org:device:InternetGatewayDevice:1 \"\n"},
        {"no WAN device", kDescribeUrl,
         root(device(kIgdType, device_list(device("urn:x:device:LANDevice:1", "")))),
         "Fail to find device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n"},
        {"WAN device without deviceList", kDescribeUrl,
         root(device(kIgdType, device_list(device(kWanType, "")))),
         " Fail to find deviceList of device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n"},
        {"no connection device", kDescribeUrl,
         root(device(kIgdType, device_list(device(kWanType, device_list(device("x", "")))))),
         "Fail to find device \"urn:schemas-upnp-org:device:WANConnectionDevice:1\"\n"},
        {"connection device without serviceList", kDescribeUrl, down_to_connection(""),
         " Fail to find serviceList of device \"urn:schemas-upnp-org:device:WANDevice:1 \"\n"},
        {"no WAN IP or PPP service", kDescribeUrl, down_to_connection(service_list(l3f, "/l3f")),
         "can't find  \" SERVICE_WANIP \" or \" SERVICE_WANPPP \" service.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        UpnpNat client;
        client.set_description(c.describe_url, c.description);
        EXPECT_FALSE(client.parser_description());
        EXPECT_EQ(client.last_error(), c.error);
    }
}

TEST(UpnpParseTest, ParserDescriptionFindsTheControlUrl) {
    const std::string ip(kServiceWanIp);
    const std::string ppp(kServiceWanPpp);
    struct Case {
        const char* label;
        std::string description;
        const char* base;
        const char* service;
        const char* control;
    } const cases[] = {
        {"relative control URL without URLBase",
         down_to_connection(service_list(ip, "/ctl/IPConn")), "http://192.168.1.1:5431", ip.c_str(),
         "http://192.168.1.1:5431/ctl/IPConn"},
        {"PPP only", down_to_connection(service_list(ppp, "/ctl/PPPConn")),
         "http://192.168.1.1:5431", ppp.c_str(), "http://192.168.1.1:5431/ctl/PPPConn"},
        {"first fitting service wins",
         down_to_connection(service_list(ppp, "/p") + service_list(ip, "/i")),
         "http://192.168.1.1:5431", ppp.c_str(), "http://192.168.1.1:5431/p"},
        {"URLBase ending in a slash",
         "HTTP/1.1 200 OK\r\n\r\n" + description_xml("http://10.0.0.1:80/", ip, "/ctl"),
         "http://10.0.0.1:80/", ip.c_str(), "http://10.0.0.1:80/ctl"},
        {"URLBase without a slash",
         "HTTP/1.1 200 OK\r\n\r\n" + description_xml("http://10.0.0.1:80", ip, "/ctl"),
         "http://10.0.0.1:80", ip.c_str(), "http://10.0.0.1:80/ctl"},
        {"absolute control URL", description_xml("", ip, "http://10.0.0.2:49000/c"),
         "http://192.168.1.1:5431", ip.c_str(), "http://10.0.0.2:49000/c"},
        {"absolute in capitals", description_xml("", ip, "HTTP://10.0.0.2/c"),
         "http://192.168.1.1:5431", ip.c_str(), "HTTP://10.0.0.2/c"},
        {"second gateway device",
         root(device("urn:x:device:Other:1", "") +
              device(kIgdType,
                     device_list(device(kWanType, device_list(device(kWanConnectionType,
                                                                     service_list(ip, "/x"))))))),
         "http://192.168.1.1:5431", ip.c_str(), "http://192.168.1.1:5431/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        UpnpNat client;
        client.set_description(kDescribeUrl, c.description);
        ASSERT_TRUE(client.parser_description()) << client.last_error();
        EXPECT_EQ(client.base_URL(), c.base);
        EXPECT_EQ(client.service_type(), c.service);
        EXPECT_EQ(client.control_url(), c.control);
    }
}

TEST(UpnpParseTest, ParseMappingInfo) {
    const std::string fields = entry_fields("8080", "TCP", "80", "192.168.1.10", "web");
    const char* line = "8080/TCP[web]-->192.168.1.10:80\r\n";
    const auto without = [&](const std::string& name) {
        const std::size_t open = fields.find("<" + name + ">");
        const std::size_t close = fields.find("</" + name + ">") + name.size() + 3;
        return fields.substr(0, open) + fields.substr(close);
    };
    const std::string response = "GetGenericPortMappingEntryResponse";
    const auto missing = [](const char* name) {
        return std::string("Fail to get mapping info from response data.(NO \"") + name +
               "\" node.)\n";
    };
    struct Case {
        const char* label;
        std::string reply;
        std::string expected;  // the line, or the error text
        bool ok;
    } const cases[] = {
        {"s: and u:", soap_reply({"s:", "u:", ""}, response, fields), line, true},
        {"no prefixes", soap_reply({"", "", ""}, response, fields), line, true},
        {"m: on every element",
         soap_reply({"SOAP-ENV:", "m:", ""}, response,
                    entry_fields("8080", "TCP", "80", "192.168.1.10", "web", "m:")),
         line, true},
        {"empty description",
         soap_reply({"s:", "u:", ""}, response, entry_fields("22", "UDP", "22", "10.0.0.5", "")),
         "22/UDP[]-->10.0.0.5:22\r\n", true},
        {"entities in the description",
         soap_reply({"s:", "u:", ""}, response,
                    entry_fields("1", "TCP", "2", "10.0.0.5", "a &amp; b &lt;c&gt;")),
         "1/TCP[a & b <c>]-->10.0.0.5:2\r\n", true},
        {"not XML", "HTTP/1.1 200 OK\r\n\r\n</>", missing("SOAP-ENV:Envelope"), false},
        {"no Body", test::http_ok("<s:Envelope><s:Header/></s:Envelope>"), missing("SOAP-ENV:Body"),
         false},
        {"other response", soap_reply({"s:", "u:", ""}, "GetStatusInfoResponse", fields),
         missing("u:GetGenericPortMappingEntryResponse"), false},
        {"no external port", soap_reply({"s:", "u:", ""}, response, without("NewExternalPort")),
         missing("NewExternalPort"), false},
        {"no protocol", soap_reply({"s:", "u:", ""}, response, without("NewProtocol")),
         missing("NewProtocol"), false},
        {"no internal port", soap_reply({"s:", "u:", ""}, response, without("NewInternalPort")),
         missing("NewInternalPort"), false},
        {"no client", soap_reply({"s:", "u:", ""}, response, without("NewInternalClient")),
         missing("NewInternalClient"), false},
        {"no description",
         soap_reply({"s:", "u:", ""}, response, without("NewPortMappingDescription")),
         missing("NewPortMappingDescription"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        UpnpNat client;
        client.set_mapping_info(c.reply);
        ASSERT_EQ(client.parse_mapping_info(), c.ok) << client.last_error();
        if (c.ok) {
            ASSERT_EQ(client.mapping_lines().size(), 1u);
            EXPECT_EQ(client.mapping_lines()[0], c.expected);
            ASSERT_EQ(client.mapping_entries().size(), 1u);
        } else {
            EXPECT_EQ(client.last_error(), c.expected);
            EXPECT_TRUE(client.mapping_lines().empty());
        }
    }
    // The entry keeps the gateway's texts field by field.
    UpnpNat client;
    client.set_mapping_info(soap_reply({"s:", "u:", ""}, response, fields));
    ASSERT_TRUE(client.parse_mapping_info());
    const RouterPortMapping& entry = client.mapping_entries()[0];
    EXPECT_EQ(entry.description, "web");
    EXPECT_EQ(entry.protocol, "TCP");
    EXPECT_EQ(entry.external_port, "8080");
    EXPECT_EQ(entry.internal_client, "192.168.1.10");
    EXPECT_EQ(entry.internal_port, "80");
    EXPECT_EQ(entry.enabled, "1");
    EXPECT_EQ(entry.lease, "0");

    // The state and the lease are optional: a gateway that leaves them out still lists.
    UpnpNat sparse;
    sparse.set_mapping_info(soap_reply({"s:", "u:", ""}, response, without("NewEnabled")));
    ASSERT_TRUE(sparse.parse_mapping_info()) << sparse.last_error();
    EXPECT_EQ(sparse.mapping_entries()[0].enabled, "");
}

}  // namespace
}  // namespace zk
