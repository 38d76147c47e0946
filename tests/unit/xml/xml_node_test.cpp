#include "xml/xml_node.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace zk {
namespace {

// Follows child_by_name (first match) one level per name.
XMLNode at(XMLNode node, std::initializer_list<std::string_view> path) {
    for (std::string_view name : path)
        node = node.child_by_name(name);
    return node;
}

struct TextCase {
    const char* label;
    const char* xml;
    std::initializer_list<std::string_view> path;  // below the top element "a"
    std::size_t index;
    const char* expected;  // nullptr: no such text
};

TEST(XmlNodeTest, TextRunsEndTagsAndEntities) {
    const TextCase cases[] = {
        {"end tag spelled in capitals", "<a><b>x</B></a>", {"b"}, 0, "x"},
        {"end tag of the parent closes the child", "<a><b>x</a>", {"b"}, 0, "x"},
        {"names ignore case", "<A><B>x</b></A>", {"b"}, 0, "x"},
        {"entity decoded before an end tag", "<a>x &amp; y</a>", {}, 0, "x & y"},
        {"undecoded before a child", "<a>x &amp; y<b/></a>", {}, 0, "x &amp; y"},
        {"text after a child is a second run", "<a>x<b/>y</a>", {}, 1, "y"},
        {"no third run", "<a>x<b/>y</a>", {}, 2, nullptr},
        {"all five entities, any case", "<a>&lt;&GT;&amp;&Apos;&quot;</a>", {}, 0, "<>&'\""},
        {"decoded once only", "<a>&amp;lt;</a>", {}, 0, "&lt;"},
        {"other entities kept", "<a>1 &#38; 2&nbsp;&am</a>", {}, 0, "1 &#38; 2&nbsp;&am"},
        {"trailing blanks trimmed", "<a>  abc \r\n\t</a>", {}, 0, "abc"},
        {"quotes and '=' are text",
         "<a>say \"hi there\" k='v' =</a>",
         {},
         0,
         "say \"hi there\" k='v' ="},
        {"unpaired quote before markup", "<a>it's<b/></a>", {}, 0, "it's"},
        {"slash inside a word", "<a>and/or</a>", {}, 0, "and/or"},
        {"end of text closes all", "<a><b>x &lt; y", {"b"}, 0, "x < y"},
        {"element without text", "<a><b></b></a>", {"b"}, 0, nullptr},
        {"self-closed sibling", "<a><b/><c>z</c></a>", {"c"}, 0, "z"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.label);
        const XMLNode top = xml_parse_text(c.xml, "a");
        ASSERT_FALSE(top.is_empty());
        const std::optional<std::string> text = at(top, c.path).text_at(c.index);
        if (c.expected == nullptr) {
            EXPECT_FALSE(text.has_value());
        } else {
            EXPECT_EQ(text.value_or("<none>"), c.expected);
        }
    }
}

TEST(XmlNodeTest, MalformedInputFailsTheParse) {
    const char* cases[] = {
        "<",
        "<a><",
        "<a><<b>",
        "<a></>",
        "<a></a",
        "<a></a/>",
        "<a>x > y</a>",
        "<a>x /> y</a>",
        "<a b=>",
        "<a =\"x\">",
        "<a b \"x\">",
        "<a <!-- c -->>",
        "<?>",
        "<a><![CDATA[x</a>",
        "<a><!-- never closed",
        "<a><b></c></a>",  // an unmatched end tag reaches the top from inside
    };
    for (const char* xml : cases) {
        SCOPED_TRACE(xml);
        EXPECT_TRUE(xml_parse_document(xml).is_empty());
        EXPECT_TRUE(xml_parse_text(xml, "a").is_empty());
    }
}

TEST(XmlNodeTest, StrayEndTagAtTheTopEndsTheReading) {
    const XMLNode document = xml_parse_document("<a>x</a> </zz> <b/>");
    ASSERT_FALSE(document.is_empty());
    EXPECT_EQ(document.child_total(), 1u);
    // Inside a declaration, which stands for the top level, the same holds.
    const XMLNode xml = xml_parse_document("<?xml?><a/></zz><b/>").child(0);
    EXPECT_EQ(xml.child_total(), 1u);
}

TEST(XmlNodeTest, ClearSectionsAreStoredVerbatim) {
    struct Case {
        const char* xml;
        const char* opening;
        const char* content;
        const char* closing;
    } const cases[] = {
        {"<a><![CDATA[1<2]]></a>", "<![CDATA[", "1<2", "]]>"},
        {"<a><!-- <b>x</b> --></a>", "<!--", " <b>x</b> ", "-->"},
        // The opening matches in any case, the closing only as written.
        {"<a><pre>x</pre> y </PRE></a>", "<PRE>", "x</pre> y ", "</PRE>"},
        {"<a><SCRIPT>if (a<b) f();</Script></a>", "<Script>", "if (a<b) f();", "</Script>"},
        {"<a><!doctype html></a>", "<!DOCTYPE", " html", ">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        const XMLNode a = xml_parse_text(c.xml, "a");
        ASSERT_EQ(a.clear_sections().size(), 1u);
        const ClearSection& section = a.clear_sections()[0];
        EXPECT_EQ(section.opening, c.opening);
        EXPECT_EQ(section.content, c.content);
        EXPECT_EQ(section.closing, c.closing);
        EXPECT_EQ(a.child_total(), 0u);
    }
    // The CDATA example holds no text; text around a section is split, not decoded before it.
    EXPECT_FALSE(xml_parse_text("<a><![CDATA[1<2]]></a>", "a").text_at(0));
    const XMLNode split = xml_parse_text("<a>x &amp;<!-- c -->y &amp;</a>", "a");
    EXPECT_EQ(split.text_at(0).value_or(""), "x &amp;");
    EXPECT_EQ(split.text_at(1).value_or(""), "y &");
}

TEST(XmlNodeTest, AttributesInOrderWithAndWithoutValues) {
    const XMLNode a = xml_parse_text("<a x=\"1 2\" y='&lt;' z=3 flag w = \"q\" last/>", "a");
    const std::vector<XmlAttribute>& attrs = a.attributes();
    ASSERT_EQ(attrs.size(), 6u);
    const char* names[] = {"x", "y", "z", "flag", "w", "last"};
    const char* values[] = {"1 2", "<", "3", nullptr, "q", nullptr};
    for (std::size_t i = 0; i < attrs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(attrs[i].name, names[i]);
        const std::optional<std::string> expected =
            values[i] ? std::optional<std::string>(values[i]) : std::nullopt;
        EXPECT_EQ(attrs[i].value, expected);
    }
}

TEST(XmlNodeTest, DeclarationDropsItsQuestionMark) {
    struct Case {
        const char* xml;
        const char* name;
        std::optional<std::string> value;
    } const cases[] = {
        {"<?xml version=\"1.0\"?>", "version", "1.0"},
        {"<?xml version='1.0' ?>", "version", "1.0"},
        {"<?xml version=1.0?>", "version", "1.0"},
        {"<?xml standalone?>", "standalone", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        const XMLNode xml = xml_parse_document(c.xml).child(0);
        EXPECT_EQ(xml.name(), "xml");
        EXPECT_TRUE(xml.is_declaration());
        ASSERT_EQ(xml.attributes().size(), 1u);
        EXPECT_EQ(xml.attributes()[0].name, c.name);
        EXPECT_EQ(xml.attributes()[0].value, c.value);
    }
}

TEST(XmlNodeTest, TopElementIsFoundInsideTheDeclaration) {
    const char* description =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n\r\n"
        "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
        "<URLBase>http://192.168.1.1:5431/</URLBase></root>";
    const XMLNode root = xml_parse_text(description, "root");
    EXPECT_EQ(root.name(), "root");
    EXPECT_EQ(root.child_by_name("URLBase").text_at(0).value_or(""), "http://192.168.1.1:5431/");
    // The status line and headers are text of the document level.
    const XMLNode document = xml_parse_document(description);
    EXPECT_EQ(document.text_at(0).value_or("").rfind("HTTP/1.1 200 OK", 0), 0u);
    EXPECT_TRUE(document.child(0).is_declaration());

    // Without a match the last child looked at is the result.
    EXPECT_EQ(xml_parse_text("<?xml?><s:Envelope/>", "Envelope").name(), "s:Envelope");
    EXPECT_EQ(xml_parse_text("<a/><b/>", "c").name(), "b");
    EXPECT_EQ(xml_parse_text("<A/><b/>", "a").name(), "A");
}

TEST(XmlNodeTest, NoElementGivesTheEmptyNode) {
    EXPECT_TRUE(xml_parse_text("", "root").is_empty());
    EXPECT_TRUE(xml_parse_text("HTTP/1.1 500 Internal Server Error\r\n\r\n", "root").is_empty());
    EXPECT_FALSE(xml_parse_document("").is_empty());  // empty, but not a failure

    const XMLNode none;
    EXPECT_EQ(none.name(), "");
    EXPECT_EQ(none.child_count("a"), 0);
    EXPECT_TRUE(none.child_by_name("a").is_empty());
    EXPECT_TRUE(none.child(0).is_empty());
    EXPECT_FALSE(none.text_at(0));
    EXPECT_TRUE(none.attributes().empty());
}

TEST(XmlNodeTest, LookupsDropPrefixesButCountsDoNot) {
    const XMLNode envelope = xml_parse_text(
        "<s:Envelope><s:Body><u:GetExternalIPAddressResponse>"
        "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>"
        "</u:GetExternalIPAddressResponse></s:Body></s:Envelope>",
        "Envelope");
    EXPECT_EQ(at(envelope, {"body", "GetExternalIPAddressResponse", "NewExternalIPAddress"})
                  .text_at(0)
                  .value_or(""),
              "203.0.113.7");
    EXPECT_TRUE(envelope.child_by_name("s:Body").is_empty());

    const XMLNode list =
        xml_parse_text("<l><device>1</device><ns:device>2</ns:device><DEVICE>3</DEVICE></l>", "l");
    EXPECT_EQ(list.child_count("device"), 2);
    EXPECT_EQ(list.child_count("ns:device"), 1);
    const char* expected[] = {"1", "2", "3"};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(list.child_by_name("device", n).text_at(0).value_or(""), expected[n]);
    }
    EXPECT_TRUE(list.child_by_name("device", 3).is_empty());
    EXPECT_TRUE(list.child_by_name("device", -1).is_empty());
    EXPECT_EQ(list.child(1).name(), "ns:device");
    EXPECT_TRUE(list.child(3).is_empty());
}

TEST(XmlNodeTest, InnerHandleOutlivesItsTree) {
    XMLNode b;
    {
        const XMLNode a = xml_parse_text("<a><b><c>x</c></b></a>", "a");
        b = a.child_by_name("b");
    }
    EXPECT_EQ(b.name(), "b");
    EXPECT_EQ(b.child_by_name("c").text_at(0).value_or(""), "x");
}

TEST(XmlNodeTest, NestingDepthIsBounded) {
    const auto nested = [](int depth) {
        std::string xml;
        for (int i = 0; i < depth; ++i)
            xml += "<d>";
        return xml + "x";
    };
    const XMLNode deepest_allowed = xml_parse_document(nested(kXmlMaxDepth));
    ASSERT_FALSE(deepest_allowed.is_empty());
    XMLNode node = deepest_allowed;
    for (int i = 0; i < kXmlMaxDepth; ++i)
        node = node.child(0);
    EXPECT_EQ(node.text_at(0).value_or(""), "x");
    EXPECT_TRUE(xml_parse_document(nested(kXmlMaxDepth + 1)).is_empty());
    EXPECT_TRUE(xml_parse_document(nested(100000)).is_empty());
}

constexpr std::string_view kDescription =
    "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\nContent-Length: 1061\r\n\r\n"
    "<?xml version=\"1.0\"?>\r\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
    "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
    "<URLBase>http://192.168.1.1:5431/</URLBase>\r\n"
    "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>\r\n"
    "<friendlyName>Home &amp; Office Router</friendlyName>\r\n"
    "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>\r\n"
    "<deviceList><device>"
    "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>\r\n"
    "<serviceList><service>"
    "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>\r\n"
    "<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>\r\n"
    "<controlURL>/uuid:0000e068-20a0-00e0/WANIPConnection:1</controlURL>\r\n"
    "</service></serviceList></device></deviceList></device></deviceList></device>\r\n"
    "</root>\r\n";

constexpr std::string_view kSoapReply =
    "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 412\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"
    "EXT:\r\nSERVER: Linux/2.6 UPnP/1.0 miniupnpd/1.0\r\n\r\n"
    "<?xml version=\"1.0\"?>\r\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
    "<u:GetGenericPortMappingEntryResponse "
    "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
    "<NewRemoteHost></NewRemoteHost><NewExternalPort>8080</NewExternalPort>"
    "<NewProtocol>TCP</NewProtocol><NewInternalPort>80</NewInternalPort>"
    "<NewInternalClient>192.168.1.10</NewInternalClient><NewEnabled>1</NewEnabled>"
    "<NewPortMappingDescription>web</NewPortMappingDescription>"
    "<NewLeaseDuration>0</NewLeaseDuration></u:GetGenericPortMappingEntryResponse>"
    "</s:Body></s:Envelope>\r\n";

struct Sweep {
    const char* label;
    std::string_view text;
    const char* top;
    std::initializer_list<std::string_view> path;
    const char* expected;
};

// A reply may arrive cut anywhere. Every prefix must parse without harm; a prefix cut right
// after a complete tag still gives a tree, and a text found is never more than the real one.
TEST(XmlNodeTest, EveryPrefixOfARealReplyIsSafe) {
    const Sweep sweeps[] = {
        {"description",
         kDescription,
         "root",
         {"device", "deviceList", "device", "deviceList", "device", "serviceList", "service",
          "controlURL"},
         "/uuid:0000e068-20a0-00e0/WANIPConnection:1"},
        {"soap reply",
         kSoapReply,
         "Envelope",
         {"Body", "GetGenericPortMappingEntryResponse", "NewInternalClient"},
         "192.168.1.10"},
    };
    for (const Sweep& sweep : sweeps) {
        SCOPED_TRACE(sweep.label);
        for (std::size_t cut = 0; cut <= sweep.text.size(); ++cut) {
            SCOPED_TRACE(cut);
            // A copy, so a read past the cut would leave the buffer (and trip the sanitizers).
            const std::string prefix(sweep.text.substr(0, cut));
            const XMLNode top = xml_parse_text(prefix, sweep.top);
            if (cut > 0 && prefix.back() == '>' && prefix.find('<') != std::string::npos) {
                EXPECT_FALSE(top.is_empty());
            }
            const std::string found = at(top, sweep.path).text_at(0).value_or("");
            EXPECT_EQ(std::string_view(sweep.expected).substr(0, found.size()), found);
        }
        const XMLNode top = xml_parse_text(sweep.text, sweep.top);
        EXPECT_EQ(at(top, sweep.path).text_at(0).value_or(""), sweep.expected);
    }
    const XMLNode root = xml_parse_text(kDescription, "root");
    EXPECT_EQ(at(root, {"device", "friendlyName"}).text_at(0).value_or(""), "Home & Office Router");
    EXPECT_EQ(root.child_count("device"), 1);
}

}  // namespace
}  // namespace zk
