// The add and edit forms. Browsers submit the fields in document order, which the form-body
// parser relies on, so the order below is part of the interface.

#include <string>

#include "web/web_pages.h"
#include "web/web_text.h"

namespace zk {
namespace {

// Header option values and texts of the four lists; header options are never submitted.
constexpr std::string_view kRouteHeader =
    "IP Range(From)|IP Range(To)|Destination IP|Destination Port";
constexpr std::string_view kRoundRobinHeader = "Destination IP|Destination Port";
constexpr std::string_view kRangeHeader = "IP Range(From)|IP Range(To)";

class FormWriter {
public:
    std::string& out() { return out_; }

    void section(std::string_view title) {
        out_.append("<tr><th colspan=\"2\" class=\"section\">")
            .append(title)
            .append("</th></tr>\n");
    }
    void row_start(std::string_view label) {
        out_.append("<tr><td class=\"label\">").append(label).append("</td><td>");
    }
    void row_end() { out_.append("</td></tr>\n"); }

    void text(std::string_view name, std::string_view value, int max_length,
              std::string_view extra = {}) {
        out_.append("<input type=\"text\" name=\"").append(name).append("\" id=\"").append(name);
        out_.append("\" maxlength=\"").append(std::to_string(max_length)).append("\" value=\"");
        out_.append(html_escape(value)).append("\"");
        if (!extra.empty()) out_.append(" ").append(extra);
        out_.append(">");
    }
    void check(std::string_view type, std::string_view name, std::string_view value, bool checked,
               std::string_view handler, std::string_view label = {}) {
        out_.append("<input type=\"").append(type).append("\" name=\"").append(name);
        out_.append("\" id=\"").append(name).append("\" value=\"").append(value).append("\"");
        if (checked) out_.append(" checked");
        if (!handler.empty()) out_.append(" onclick=\"").append(handler).append("\"");
        out_.append(">");
        if (!label.empty()) {
            out_.append("<label for=\"")
                .append(name)
                .append("\">")
                .append(label)
                .append("</label>");
        }
    }
    void list(std::string_view name, std::string_view header_value, std::string_view header_text,
              const std::vector<std::string>& entries) {
        out_.append("<select name=\"").append(name).append("\" id=\"").append(name);
        out_.append("\" multiple size=\"10\" class=\"entries\">\n<option value=\"");
        out_.append(header_value).append("\" class=\"header\">").append(header_text);
        out_.append("</option>\n");
        for (const std::string& entry : entries) {
            const std::string e = html_escape(entry);
            out_.append("<option value=\"").append(e).append("\">").append(e).append("</option>\n");
        }
        out_.append("</select>\n");
    }
    void entry_input(std::string_view label, std::string_view name, int max_length) {
        out_.append("<span class=\"entry\">").append(label).append(" ");
        text(name, "", max_length);
        out_.append("</span>\n");
    }
    void buttons(std::string_view add, std::string_view remove) {
        out_.append("<input type=\"button\" value=\"Add\" onclick=\"").append(add).append("\"> ");
        out_.append("<input type=\"button\" value=\"Delete\" onclick=\"").append(remove);
        out_.append("\">\n");
    }

private:
    std::string out_;
};

std::string joined(std::initializer_list<std::string_view> fields) {
    std::string text;
    for (const std::string_view f : fields) {
        if (!text.empty()) text.push_back('|');
        text.append(f);
    }
    return text;
}

}  // namespace

std::string mapping_form_page(const PortMapping* mapping, std::int32_t session_id,
                              std::string_view user_name) {
    const PortMapping blank{};
    const PortMapping& m = mapping ? *mapping : blank;
    const bool edit = mapping != nullptr;
    const std::string sid = std::to_string(session_id);
    const bool listen_range = m.listen_port_type == "1";
    const bool d_range = m.destination_port_type == "1";
    const bool round_robin = edit && !m.smart_strategy.empty() && m.smart_strategy != "0";

    std::vector<std::string> routes, targets, allowed, blocked;
    for (const RouteEntry& r : m.smart_ip_range)
        routes.push_back(joined({r.start, r.end, r.d_ip, r.d_port}));
    for (const RoundRobinTarget& t : m.smart_round_robin)
        targets.push_back(joined({t.d_ip, t.d_port}));
    for (const IpRange& r : m.allow_ip)
        allowed.push_back(joined({r.start, r.end}));
    for (const IpRange& r : m.block_ip)
        blocked.push_back(joined({r.start, r.end}));

    FormWriter f;
    std::string& out = f.out();
    out.append("<form name=\"PortBean\" id=\"PortBean\" method=\"post\" action=\"");
    if (edit) {
        out.append("/?name=" + html_escape(link_name(m.name)) +
                   "&amp;action=updatedone&amp;sessionid=" + sid);
    } else {
        out.append("/?action=newdone&amp;sessionid=" + sid);
    }
    out.append("\" onsubmit=\"return check()\">\n<table class=\"form\">\n");

    f.section("Basic Configuration");
    f.row_start("Name");
    f.text("port.name", m.name, 255, edit ? "readonly" : "");
    f.row_end();
    f.row_start("Type");
    out.append("<select name=\"port.type\" id=\"port.type\"><option value=\"0\"");
    out.append(m.type != "UDP" ? " selected" : "").append(">TCP</option><option value=\"1\"");
    out.append(m.type == "UDP" ? " selected" : "").append(">UDP</option></select>");
    f.row_end();
    f.row_start("Run as a http proxy");
    f.check("checkbox", "port.runasproxy", "1", is_yes(m.http_proxy), "runasproxyfunc()");
    f.row_end();
    f.row_start("Listen Port");
    f.text("port.listen_port", m.listen_port, 19,
           "size=\"8\" oninput=\"change_listen_port_value()\" "
           "onchange=\"change_listen_port_value()\"");
    out.append(" <span id=\"listen_port_to\">to</span> ");
    f.text("port.listen_port_end", m.listen_port_end, 19,
           "size=\"8\" oninput=\"change_listen_port_end_value()\" "
           "onchange=\"change_listen_port_end_value()\"");
    out.append(" ");
    f.check("radio", "port.listen_port_single", "0", !listen_range, "choose_listen_port_single()",
            "single");
    f.check("radio", "port.listen_port_range", "1", listen_range, "choose_listen_port_range()",
            "range");
    f.row_end();
    f.row_start("Destination IP");
    f.text("port.d_ip", m.destination_ip, 254, "size=\"30\"");
    f.row_end();
    f.row_start("Destination Port");
    f.text("port.d_port", m.destination_port, 19,
           "size=\"8\" oninput=\"change_d_port_value()\" onchange=\"change_d_port_value()\"");
    out.append(" <span id=\"d_port_to\">to</span> ");
    f.text("port.d_port_end", m.destination_port_end, 19, "size=\"8\" readonly");
    out.append(" <span id=\"d_port_kind\">");
    f.check("radio", "port.d_port_single", "0", !d_range, "choose_d_port_single()", "single");
    f.check("radio", "port.d_port_range", "1", d_range, "choose_d_port_range()", "range");
    out.append("</span>");
    f.row_end();
    f.row_start("Maximum Sessions");
    f.text("port.max_sessions", m.max_sessions, 9, "size=\"8\"");
    out.append(" <span class=\"style1\">(unlimited if leave empty)</span>");
    f.row_end();
    f.row_start("Auto Startup");
    f.check("checkbox", "port.autostartup", "1", is_yes(m.auto_start), "");
    f.row_end();

    f.section("Smart Route");
    f.row_start("Enable Smart Route");
    f.check("checkbox", "port.enable_smart", "1", m.enable_smart == "1", "choose_enable_smart()");
    f.row_end();
    f.row_start("Based incoming ip address route strategy");
    f.check("radio", "port.route_incoming_ip", "0", !round_robin, "choose_route_incoming_ip()",
            "select");
    out.append("<br>\n");
    f.list("port.route_datas", "route_header", kRouteHeader, routes);
    out.append("<div class=\"entries-input\">\n");
    f.entry_input("IP Range(From):", "port.route_incoming_ip_from", 49);
    f.entry_input("IP Range(To):", "port.route_incoming_ip_to", 49);
    f.entry_input("Destination IP:", "port.route_incoming_ip_d_ip", 254);
    f.entry_input("Destination Port:", "port.route_incoming_ip_d_port", 19);
    f.buttons("add_incoming_ip()", "delete_incoming_ip()");
    out.append("</div>");
    f.row_end();
    f.row_start("Round robin route strategy");
    f.check("radio", "port.round_robin", "1", round_robin, "choose_route_round_robin()", "select");
    out.append("<br>\n");
    f.list("port.round_robin_datas", "port.round_robin_header", kRoundRobinHeader, targets);
    out.append("<div class=\"entries-input\">\n");
    f.entry_input("Destination IP:", "port.round_robin_d_ip", 254);
    f.entry_input("Destination Port:", "port.round_robin_d_port", 19);
    f.buttons("add_round_robin()", "delete_round_robin()");
    out.append("</div>");
    f.row_end();

    f.section("Advanced Option");
    f.row_start("Enable IP Strategy");
    f.check("checkbox", "port.enable_ip_strategy", "1", m.enable_ip_strategy == "1", "");
    f.row_end();
    f.row_start("Allow ip address ranges");
    f.list("port.allow_ip_ranges", "port.allow_ip_ranges_header", kRangeHeader, allowed);
    out.append("<div class=\"entries-input\">\n");
    f.entry_input("IP Range(From):", "port.allow_ip_from", 49);
    f.entry_input("IP Range(To):", "port.allow_ip_to", 49);
    f.buttons("add_allow_ip_range()", "delete_allow_ip_range()");
    out.append("</div>");
    f.row_end();
    f.row_start("Block ip address ranges");
    f.list("port.block_ip_ranges", "port.block_ip_range_head", kRangeHeader, blocked);
    out.append("<div class=\"entries-input\">\n");
    f.entry_input("IP Range(From):", "port.block_ip_from", 49);
    f.entry_input("IP Range(To):", "port.block_ip_to", 49);
    f.buttons("add_block_ip_range()", "delete_block_ip_range()");
    out.append("</div>");
    f.row_end();
    out.append(
        "</table>\n<div class=\"buttons\"><input type=\"submit\" name=\"method\" value=\"OK\"> ");
    out.append(
        "<input type=\"button\" value=\"Cancel\" "
        "onclick=\"location.href='/?action=browse&amp;sessionid=" +
        sid + "'\"></div>\n");
    out.append("</form>\n<script type=\"text/javascript\" src=\"/image/port.js\"></script>\n");
    return page_frame(edit ? PageKind::edit : PageKind::add, session_id, user_name, out);
}

}  // namespace zk
