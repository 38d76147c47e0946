#include "web/form_body.h"

#include <array>
#include <cctype>
#include <vector>

#include "web/web_text.h"

namespace zk {
namespace {

// The body's fields, split before decoding; nothing without a body.
std::optional<std::vector<FormField>> body_fields(std::string_view request) {
    const auto body = request_body(request);
    if (!body) return std::nullopt;
    return split_form(*body);
}

// Keys are compared whole, so a value can never pass for another field.
void apply_field(PortMapping& m, const FormField& field) {
    const std::string_view k = field.key;
    const std::string_view v = field.value;
    if (k == "port.type") {
        m.type = v == "0" ? "TCP" : "UDP";
    } else if (k == "port.runasproxy") {
        m.destination_ip = kHttpProxyPlaceholder;
        m.http_proxy = "Y";
        m.destination_port = "0";
        m.destination_port_end = "0";
        m.type = "TCP";
    } else if (k == "port.listen_port") {
        m.listen_port = v;
    } else if (k == "port.listen_port_end") {
        m.listen_port_end = v;
    } else if (k == "port.listen_port_single") {
        m.listen_port_type = "0";
        m.destination_port_type = "0";
        m.destination_port_end = "0";
    } else if (k == "port.listen_port_range") {
        m.listen_port_type = "1";
    } else if (k == "port.d_ip") {
        m.destination_ip = v;
    } else if (k == "port.d_port") {
        m.destination_port = v;
    } else if (k == "port.d_port_end") {
        m.destination_port_end = v;
    } else if (k == "port.d_port_single") {
        m.destination_port_type = "0";
        m.destination_port_end = "0";
    } else if (k == "port.d_port_range") {
        m.destination_port_type = "1";
    } else if (k == "port.max_sessions") {
        m.max_sessions = v;
    } else if (k == "port.autostartup") {
        m.auto_start = "Y";
    } else if (k == "port.enable_smart") {
        m.destination_ip = kSmartRoutePlaceholder;
        m.enable_smart = "1";
        m.destination_port = "0";
        m.destination_port_end = "0";
    } else if (k == "port.route_incoming_ip") {
        m.smart_strategy = "0";
    } else if (k == "port.route_datas") {
        std::array<std::string, 4> f;
        split_entry(v, f.data(), 4);
        RouteEntry e;
        e.start = f[0];
        e.end = f[1];
        e.d_ip = f[2];
        e.d_port = f[3];
        m.smart_ip_range.push_back(e);
    } else if (k == "port.round_robin") {
        m.smart_strategy = "1";
    } else if (k == "port.round_robin_datas") {
        std::array<std::string, 2> f;
        split_entry(v, f.data(), 2);
        RoundRobinTarget t;
        t.d_ip = f[0];
        t.d_port = f[1];
        m.smart_round_robin.push_back(t);
    } else if (k == "port.enable_ip_strategy") {
        m.enable_ip_strategy = "1";
    } else if (k == "port.allow_ip_ranges" || k == "port.block_ip_ranges") {
        std::array<std::string, 2> f;
        split_entry(v, f.data(), 2);
        IpRange r;
        r.start = f[0];
        r.end = f[1];
        (k == "port.allow_ip_ranges" ? m.allow_ip : m.block_ip).push_back(r);
    }
    // Anything else (the entry inputs, the OK button) carries nothing for the record.
}

}  // namespace

std::optional<std::string_view> request_body(std::string_view request) {
    const std::size_t blank = request.find("\r\n\r\n");
    if (blank == std::string_view::npos) return std::nullopt;
    return request.substr(blank + 4);
}

void split_entry(std::string_view value, std::string* fields, int count) {
    for (int i = 0; i < count; ++i)
        fields[i].clear();
    std::size_t at = 0;
    for (int i = 0; i + 1 < count; ++i) {
        const std::size_t bar = value.find('|', at);
        const std::size_t end = bar == std::string_view::npos ? value.size() : bar;
        if (end == at) return;  // an empty field stops the scan
        fields[i] = value.substr(at, end - at);
        if (bar == std::string_view::npos) return;
        at = bar + 1;
    }
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (at < value.size() && space(value[at]))
        ++at;
    std::size_t end = at;
    while (end < value.size() && !space(value[end]))
        ++end;
    fields[count - 1] = value.substr(at, end - at);
}

std::optional<std::string> form_name(std::string_view request) {
    auto fields = body_fields(request);
    if (!fields) return std::nullopt;
    return std::move(fields->front().value);
}

std::optional<PortMapping> parse_mapping_form(std::string_view request) {
    const auto fields = body_fields(request);
    if (!fields) return std::nullopt;
    PortMapping m;
    m.name = fields->front().value;
    m.http_proxy = "N";
    m.auto_start = "N";
    m.enable_ip_strategy = "0";
    m.enable_smart = "0";
    m.enable_log = "0";
    for (std::size_t i = 1; i < fields->size(); ++i)
        apply_field(m, (*fields)[i]);
    // A form posted without its radio buttons describes single ports.
    if (m.listen_port_type.empty()) m.listen_port_type = "0";
    if (m.destination_port_type.empty()) m.destination_port_type = "0";
    if (m.destination_port_type == "1") {
        const long long end = static_cast<long long>(text_to_int(m.destination_port)) +
                              text_to_int(m.listen_port_end) - text_to_int(m.listen_port);
        m.destination_port_end = std::to_string(end);
    }
    return m;
}

}  // namespace zk
