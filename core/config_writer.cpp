// Writing config.xml: plain text built by concatenation, in one fixed layout.

#include <unistd.h>

#include <string>

#include "core/config_file.h"
#include "core/file_replace.h"

namespace zk {
namespace {

constexpr const char* kEol = "\r\n";

// Appends name="value" and one space. Values are escaped so that any name or password reads back
// as written; a value without special characters is copied byte for byte. Control bytes other
// than TAB, LF and CR cannot appear in XML at all, so they are left out rather than making the
// whole file unreadable.
void attribute(std::string& out, const char* name, std::string_view value) {
    out.append(name).append("=\"");
    for (const char c : value) {
        switch (c) {
            case '&': out.append("&amp;"); break;
            case '<': out.append("&lt;"); break;
            case '>': out.append("&gt;"); break;
            case '"': out.append("&quot;"); break;
            case '\t': out.append("&#9;"); break;
            case '\n': out.append("&#10;"); break;
            case '\r': out.append("&#13;"); break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20) out.push_back(c);
        }
    }
    out.append("\" ");
}

void settings_line(std::string& out, const AppSettings& s) {
    out.append("<mappings ");
    attribute(out, "auto_startup", s.auto_startup);
    attribute(out, "monitor_router", s.monitor_router);
    attribute(out, "use_ie_setting", s.use_ie_setting);
    attribute(out, "voice_notify", s.voice_notify);
    attribute(out, "top_window", s.top_window);
    attribute(out, "web_listen_port", s.web_listen_port);
    attribute(out, "protect", s.protect);
    attribute(out, "user_name", s.user_name);
    attribute(out, "password", s.password);
    attribute(out, "enable_web", s.enable_web);
    out.append(">").append(kEol);
}

// One list element: its start tag line, one <ip .../> line per entry, its end tag line.
template <typename Element, typename Attributes>
void list(std::string& out, const char* name, const std::vector<Element>& elements,
          Attributes attributes) {
    out.append("<").append(name).append(">").append(kEol);
    for (const Element& e : elements) {
        out.append("<ip ");
        attributes(e);
        out.append("/>").append(kEol);
    }
    out.append("</").append(name).append(">").append(kEol);
}

void mapping_element(std::string& out, const PortMapping& m) {
    out.append("<mapping ");
    attribute(out, "name", m.name);
    attribute(out, "type", m.type);
    attribute(out, "listen_port_type", m.listen_port_type);
    attribute(out, "listen_port", m.listen_port);
    attribute(out, "listen_port_end", m.listen_port_end);
    attribute(out, "destination_ip", m.destination_ip);
    attribute(out, "destination_port_type", m.destination_port_type);
    attribute(out, "destination_port", m.destination_port);
    attribute(out, "destination_port_end", m.destination_port_end);
    attribute(out, "max_sessions", m.max_sessions);
    attribute(out, "enable_log", m.enable_log);
    attribute(out, "log_file", m.log_file);
    attribute(out, "enable_ip_strategy", m.enable_ip_strategy);
    attribute(out, "auto_start", m.auto_start);
    attribute(out, "http_proxy", m.http_proxy);
    attribute(out, "ssl_enable", m.ssl_enable);
    attribute(out, "ssl_type", m.ssl_type);
    attribute(out, "private_key", m.private_key);
    attribute(out, "public_key", m.public_key);
    attribute(out, "server_cer", m.server_cer);
    attribute(out, "private_key_client", m.private_key_client);
    attribute(out, "public_key_client", m.public_key_client);
    attribute(out, "client_cer", m.client_cer);
    attribute(out, "root_key", m.root_key);
    attribute(out, "root", m.root);
    attribute(out, "enable_smart", m.enable_smart);
    attribute(out, "smart_strategy", m.smart_strategy);
    out.append(">").append(kEol);

    auto range = [&](const IpRange& r) {
        attribute(out, "start", r.start);
        attribute(out, "end", r.end);
    };
    list(out, "allow_ip", m.allow_ip, range);
    list(out, "block_ip", m.block_ip, range);
    list(out, "smart_ip_range", m.smart_ip_range, [&](const RouteEntry& r) {
        attribute(out, "start", r.start);
        attribute(out, "end", r.end);
        attribute(out, "d_ip", r.d_ip);
        attribute(out, "d_port", r.d_port);
    });
    list(out, "smart_round_robin", m.smart_round_robin, [&](const RoundRobinTarget& r) {
        attribute(out, "d_ip", r.d_ip);
        attribute(out, "d_port", r.d_port);
    });
    out.append("</mapping>").append(kEol);
}

void trigger_element(std::string& out, const PortTrigger& t) {
    out.append("<triggering ");
    attribute(out, "name", t.name);
    attribute(out, "auto_start", t.auto_start);
    attribute(out, "protocol", t.protocol);
    attribute(out, "trigger_address", t.trigger_address);
    attribute(out, "trigger_port", t.trigger_port);
    attribute(out, "trigger_port_end", t.trigger_port_end);
    attribute(out, "frequence", t.frequence);
    out.append(">").append(kEol).append("</triggering>").append(kEol);
}

}  // namespace

std::string configuration_text(const AppSettings& settings, const MappingTable& table,
                               const TriggerTable& triggers) {
    std::string out = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    out.append(kEol);
    settings_line(out, settings);
    for (const PortMapping& m : table)
        mapping_element(out, m);
    for (const PortTrigger& t : triggers)
        trigger_element(out, t);
    out.append("</mappings>").append(kEol);
    return out;
}

int save_configuration(const std::string& path, const AppSettings& settings,
                       const MappingTable& table, const TriggerTable& triggers) {
    const std::string text = configuration_text(settings, table, triggers);
    // The file holds the web password: it is private to its owner, also when an older copy
    // was readable by others.
    return replace_file(path, text, 0600);
}

void remove_stale_temporary(const std::string& path) {
    ::unlink(temporary_path(path).c_str());
}

}  // namespace zk
