// The pages: the list with its Operation links, the forms' fields in document order, escaping.

#include <gtest/gtest.h>

#include <regex>

#include "web/web_pages.h"

namespace zk {
namespace {

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The name attributes of the form's controls, in document order.
std::vector<std::string> field_names(const std::string& page) {
    std::vector<std::string> names;
    const std::regex name_attribute("<(?:input|select)[^>]* name=\"([^\"]+)\"");
    for (std::sregex_iterator it(page.begin(), page.end(), name_attribute), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
}

PortMapping sample() {
    PortMapping m;
    m.name = "a b";
    m.type = "UDP";
    m.listen_port_type = "1";
    m.listen_port = "8000";
    m.listen_port_end = "8003";
    m.destination_ip = "127.0.0.1";
    m.destination_port_type = "1";
    m.destination_port = "9000";
    m.destination_port_end = "9003";
    m.auto_start = "Y";
    m.http_proxy = "N";
    m.enable_smart = "1";
    m.smart_strategy = "1";
    m.enable_ip_strategy = "1";
    m.smart_ip_range.push_back({FixedText<50>("127.0.0.1"), FixedText<50>("127.0.0.9"),
                                FixedText<255>("127.0.0.2"), FixedText<20>("7001")});
    m.smart_round_robin.push_back({FixedText<255>("127.0.0.3"), FixedText<20>("7002")});
    m.allow_ip.push_back({FixedText<50>("127.0.0.1"), FixedText<50>("127.0.0.5")});
    m.block_ip.push_back({FixedText<50>("127.0.0.6"), FixedText<50>("127.0.0.6")});
    return m;
}

TEST(BrowsePage, OperationLinksFollowTheStatus) {
    const PortMapping m = sample();
    const std::string stopped = browse_page({list_row(m, kStatusStop, 0)}, 42, "admin");
    EXPECT_NE(stopped.find("<a href=\"/?name=a b&amp;action=start&amp;sessionid=42\">Start/</a>"),
              std::string::npos);
    EXPECT_NE(stopped.find("<a href=\"/?name=a b&amp;action=edit&amp;sessionid=42\">Edit/</a>"),
              std::string::npos);
    EXPECT_NE(stopped.find("<a href=\"/?name=a b&amp;action=delete&amp;sessionid=42\" "
                           "onclick=\"return confirm('do you want to delete this?')\">Delete</a>"),
              std::string::npos);
    EXPECT_EQ(stopped.find("action=stop"), std::string::npos);

    const std::string running = browse_page({list_row(m, kStatusRunning, 3)}, 42, "admin");
    EXPECT_NE(running.find("<a href=\"/?name=a b&amp;action=stop&amp;sessionid=42\">Stop/</a>"),
              std::string::npos);
    EXPECT_EQ(running.find("action=start"), std::string::npos);
    EXPECT_NE(running.find("<td>8000-8003</td><td>127.0.0.1</td><td>9000-9003</td><td>Y</td>"),
              std::string::npos);
}

TEST(BrowsePage, EmptyTableHasOnlyTheHeaderRow) {
    const std::string page = browse_page({}, 0, "");
    EXPECT_EQ(count(page, "<tr"), 1u);
    EXPECT_NE(page.find("<th>Name</th><th>Type</th><th>Status</th><th>Sessions</th><th>Max "
                        "Sessions</th><th>Listen Port</th><th>Destination IP</th><th>Destination "
                        "Port</th><th>Auto Start</th><th>Operation</th>"),
              std::string::npos);
    EXPECT_NE(page.find("href=\"/image/style.css\""), std::string::npos);
    EXPECT_NE(page.find("@Powered by Zelkora Professional </a>"), std::string::npos);
    EXPECT_NE(page.find("/?action=logout&amp;sessionid=0\">Logout</a> | User Name:</div>"),
              std::string::npos);
}

TEST(BrowsePage, NamesCannotAddMarkup) {
    PortMapping m = sample();
    m.name = "<img src=x onerror=\"alert(1)\">&";
    const std::string page = browse_page({list_row(m, kStatusStop, 0)}, 1, "<b>user</b>");
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<b>user"), std::string::npos);
    EXPECT_NE(page.find("<td>&lt;img src=x onerror=&quot;alert(1)&quot;&gt;&amp;</td>"),
              std::string::npos);
    // In links the "&" of the name is encoded, so the link still names this mapping.
    EXPECT_NE(page.find("/?name=&lt;img src=x onerror=&quot;alert(1)&quot;&gt;%26&amp;action="),
              std::string::npos);
}

TEST(MappingForm, FieldsInDocumentOrder) {
    const std::vector<std::string> expected = {"port.name",
                                               "port.type",
                                               "port.runasproxy",
                                               "port.listen_port",
                                               "port.listen_port_end",
                                               "port.listen_port_single",
                                               "port.listen_port_range",
                                               "port.d_ip",
                                               "port.d_port",
                                               "port.d_port_end",
                                               "port.d_port_single",
                                               "port.d_port_range",
                                               "port.max_sessions",
                                               "port.autostartup",
                                               "port.enable_smart",
                                               "port.route_incoming_ip",
                                               "port.route_datas",
                                               "port.route_incoming_ip_from",
                                               "port.route_incoming_ip_to",
                                               "port.route_incoming_ip_d_ip",
                                               "port.route_incoming_ip_d_port",
                                               "port.round_robin",
                                               "port.round_robin_datas",
                                               "port.round_robin_d_ip",
                                               "port.round_robin_d_port",
                                               "port.enable_ip_strategy",
                                               "port.allow_ip_ranges",
                                               "port.allow_ip_from",
                                               "port.allow_ip_to",
                                               "port.block_ip_ranges",
                                               "port.block_ip_from",
                                               "port.block_ip_to",
                                               "method"};
    const PortMapping m = sample();
    for (const PortMapping* mapping : {static_cast<const PortMapping*>(nullptr), &m}) {
        const std::string page = mapping_form_page(mapping, 5, "admin");
        EXPECT_EQ(field_names(page), expected) << (mapping ? "edit" : "add");
        EXPECT_NE(page.find("<script type=\"text/javascript\" src=\"/image/port.js\">"),
                  std::string::npos);
        EXPECT_NE(page.find("href=\"image/style.css\""), std::string::npos);
    }
}

TEST(MappingForm, AddPageDefaults) {
    const std::string page = mapping_form_page(nullptr, 5, "admin");
    EXPECT_NE(page.find("action=\"/?action=newdone&amp;sessionid=5\" onsubmit=\"return check()\""),
              std::string::npos);
    EXPECT_NE(page.find("<option value=\"0\" selected>TCP</option>"), std::string::npos);
    EXPECT_NE(page.find("name=\"port.listen_port_single\" id=\"port.listen_port_single\" "
                        "value=\"0\" checked"),
              std::string::npos);
    EXPECT_NE(page.find("name=\"port.route_incoming_ip\" id=\"port.route_incoming_ip\" value=\"0\" "
                        "checked"),
              std::string::npos);
    EXPECT_EQ(count(page, "<option value=\""), 6u);  // the two types and four header options
    EXPECT_NE(page.find("&gt;&gt; Add Port Mapping</div>"), std::string::npos);
}

TEST(MappingForm, EditPageShowsTheRecord) {
    const PortMapping m = sample();
    const std::string page = mapping_form_page(&m, 5, "admin");
    for (const char* expected : {
             "action=\"/?name=a b&amp;action=updatedone&amp;sessionid=5\"",
             "name=\"port.name\" id=\"port.name\" maxlength=\"255\" value=\"a b\" readonly",
             "<option value=\"1\" selected>UDP</option>",
             "name=\"port.listen_port_range\" id=\"port.listen_port_range\" value=\"1\" checked",
             "name=\"port.listen_port_end\" id=\"port.listen_port_end\" maxlength=\"19\" "
             "value=\"8003\"",
             "name=\"port.d_port_range\" id=\"port.d_port_range\" value=\"1\" checked",
             "name=\"port.autostartup\" id=\"port.autostartup\" value=\"1\" checked",
             "name=\"port.enable_smart\" id=\"port.enable_smart\" value=\"1\" checked",
             "name=\"port.round_robin\" id=\"port.round_robin\" value=\"1\" checked",
             "name=\"port.enable_ip_strategy\" id=\"port.enable_ip_strategy\" value=\"1\" checked",
             "<option value=\"route_header\" class=\"header\">IP Range(From)|IP Range(To)|"
             "Destination IP|Destination Port</option>\n"
             "<option value=\"127.0.0.1|127.0.0.9|127.0.0.2|7001\">127.0.0.1|127.0.0.9|127.0.0.2|"
             "7001</option>",
             "<option value=\"port.round_robin_header\" class=\"header\">Destination IP|"
             "Destination Port</option>\n<option value=\"127.0.0.3|7002\">",
             "<option value=\"port.allow_ip_ranges_header\" class=\"header\">IP Range(From)|IP "
             "Range(To)</option>\n<option value=\"127.0.0.1|127.0.0.5\">",
             "<option value=\"port.block_ip_range_head\" class=\"header\">IP Range(From)|IP "
             "Range(To)</option>\n<option value=\"127.0.0.6|127.0.0.6\">",
             "&gt;&gt; Edit Port Mapping</div>",
             "Powered by Zelkora Professional</a>",
         }) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(page.find("name=\"port.round_robin\" id=\"port.round_robin\" value=\"1\">"),
              std::string::npos);
}

TEST(WebMessages, ExactTexts) {
    EXPECT_EQ(web_message(WebMessage::added, "web1", 12),
              "You have successfully added port mapping web1. Click <a "
              "href=\"/?action=browse&sessionid=12\">Home</a>");
    EXPECT_EQ(web_message(WebMessage::exists, "web1", 12),
              "port mapping web1 has already exist, click <a "
              "href=\"/?action=add&sessionid=12\">here</a> to add another.");
    EXPECT_EQ(web_message(WebMessage::stop_to_delete, "<x>", 0),
              "Please stop port mapping &lt;x&gt; before you delete it. Click <a "
              "href=\"/?action=browse&sessionid=0\">Home</a>");
}

}  // namespace
}  // namespace zk
