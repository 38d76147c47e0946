// Reading config.xml into the settings, the mapping table and the trigger table.

#include <string>

#include "core/config_file.h"
#include "core/validation.h"
#include "xml/xcfg.h"

namespace zk {
namespace {

// Copies an attribute into `field`. A missing attribute stores `missing`, or fails the read when
// the attribute is required (missing == nullptr).
template <std::size_t N>
bool read(const XcfgNode* node, const char* attribute, FixedText<N>& field,
          const char* missing = nullptr) {
    if (xcfg_get_value(node, attribute, field.data(), N) == 0) return true;
    if (missing == nullptr) return false;
    field = missing;
    return true;
}

// Appends every "ip" child of the list element `list_name` to `list`, reading each with `fill`.
// A missing list element is fine only when `required` is false.
template <typename Element, typename Fill>
bool read_list(const XcfgNode* mapping, const char* list_name, bool required,
               std::vector<Element>& list, Fill fill) {
    const XcfgNode* holder = nullptr;
    if (xcfg_find_path(holder, mapping, 1, {list_name}) != 0) return !required;
    const XcfgNode* ip = nullptr;
    if (xcfg_find_path(ip, holder, 1, {"ip"}) != 0) return true;
    for (; ip != nullptr; ip = ip->next) {
        if (std::string_view(ip->name.data()) != "ip") continue;
        Element element{};
        if (!fill(ip, element)) return false;
        list.push_back(element);
    }
    return true;
}

bool read_range(const XcfgNode* ip, IpRange& r) {
    return read(ip, "start", r.start) && read(ip, "end", r.end);
}

bool read_route(const XcfgNode* ip, RouteEntry& r) {
    return read(ip, "start", r.start) && read(ip, "end", r.end) && read(ip, "d_ip", r.d_ip) &&
           read(ip, "d_port", r.d_port);
}

bool read_target(const XcfgNode* ip, RoundRobinTarget& r) {
    return read(ip, "d_ip", r.d_ip) && read(ip, "d_port", r.d_port);
}

bool read_mapping(const XcfgNode* node, PortMapping& m) {
    return read(node, "name", m.name) && !has_control_character(m.name) &&
           read(node, "type", m.type) && read(node, "listen_port_type", m.listen_port_type, "0") &&
           read(node, "listen_port", m.listen_port) &&
           read(node, "listen_port_end", m.listen_port_end, "0") &&
           read(node, "destination_ip", m.destination_ip) &&
           read(node, "destination_port_type", m.destination_port_type, "0") &&
           read(node, "destination_port", m.destination_port) &&
           read(node, "destination_port_end", m.destination_port_end, "0") &&
           read(node, "max_sessions", m.max_sessions) && read(node, "enable_log", m.enable_log) &&
           read(node, "auto_start", m.auto_start, "N") &&
           read(node, "http_proxy", m.http_proxy, "N") &&
           read(node, "ssl_enable", m.ssl_enable, "N") && read(node, "ssl_type", m.ssl_type, "") &&
           read(node, "private_key", m.private_key, "") &&
           read(node, "public_key", m.public_key, "") &&
           read(node, "server_cer", m.server_cer, "") &&
           read(node, "private_key_client", m.private_key_client, "") &&
           read(node, "public_key_client", m.public_key_client, "") &&
           read(node, "client_cer", m.client_cer, "") && read(node, "root_key", m.root_key, "") &&
           read(node, "root", m.root, "") &&
           read(node, "enable_ip_strategy", m.enable_ip_strategy) &&
           read(node, "log_file", m.log_file) && read(node, "enable_smart", m.enable_smart, "0") &&
           read(node, "smart_strategy", m.smart_strategy, "0") &&
           read_list(node, "allow_ip", true, m.allow_ip, read_range) &&
           read_list(node, "block_ip", true, m.block_ip, read_range) &&
           // The writer always writes both smart lists; a hand-made file without them keeps
           // its mapping with empty lists rather than losing it.
           read_list(node, "smart_ip_range", false, m.smart_ip_range, read_route) &&
           read_list(node, "smart_round_robin", false, m.smart_round_robin, read_target);
}

void read_settings(const XcfgNode* root, AppSettings& s) {
    read(root, "auto_startup", s.auto_startup, "1");
    read(root, "monitor_router", s.monitor_router, "1");
    read(root, "use_ie_setting", s.use_ie_setting, "0");
    read(root, "voice_notify", s.voice_notify, "1");
    read(root, "web_listen_port", s.web_listen_port, "80");
    read(root, "protect", s.protect, "1");
    read(root, "user_name", s.user_name);  // missing: stays as it was (empty)
    read(root, "password", s.password);
    read(root, "enable_web", s.enable_web, "0");
    read(root, "top_window", s.top_window, "1");
}

bool load_document(const std::string& path, XcfgDocument& document) {
    return xcfg_load_file(document, path) == 0 && xcfg_check_root(document, "mappings") == 0;
}

// Visits `first` and each later sibling with the same name, stopping when `visit` fails.
template <typename Visit>
bool for_each_named(const XcfgNode* first, const char* name, Visit visit) {
    for (const XcfgNode* node = first; node != nullptr; node = node->next) {
        if (std::string_view(node->name.data()) == name && !visit(node)) return false;
    }
    return true;
}

bool fail(MessageSink& sink) {
    sink.show_message(kInvalidConfigMessage, "ERROR!", MessageIcon::error);
    return false;
}

}  // namespace

bool load_configuration(const std::string& path, AppSettings& settings, MappingTable& table,
                        MessageSink& sink) {
    XcfgDocument document;
    if (!load_document(path, document)) return fail(sink);
    read_settings(document.root, settings);

    const XcfgNode* first = nullptr;
    if (xcfg_find_path(first, document.root, 1, {"mapping"}) != 0) return true;
    const bool complete = for_each_named(first, "mapping", [&](const XcfgNode* node) {
        PortMapping mapping{};
        if (!read_mapping(node, mapping)) return false;
        table.push_back(std::move(mapping));
        return true;
    });
    return complete || fail(sink);
}

bool load_triggers(const std::string& path, TriggerTable& triggers, MessageSink& sink) {
    triggers.clear();
    XcfgDocument document;
    if (!load_document(path, document)) return fail(sink);

    const XcfgNode* first = nullptr;
    if (xcfg_find_path(first, document.root, 1, {"triggering"}) != 0) return true;
    const bool complete = for_each_named(first, "triggering", [&](const XcfgNode* node) {
        PortTrigger t{};
        t.status = "stop";
        if (!(read(node, "name", t.name) && read(node, "auto_start", t.auto_start) &&
              read(node, "protocol", t.protocol) &&
              read(node, "trigger_address", t.trigger_address) &&
              read(node, "trigger_port", t.trigger_port) &&
              read(node, "trigger_port_end", t.trigger_port_end) &&
              read(node, "frequence", t.frequence))) {
            return false;
        }
        triggers.push_back(t);
        return true;
    });
    return complete || fail(sink);
}

}  // namespace zk
