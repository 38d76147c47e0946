#include "zkload/mapping_option.h"

#include <vector>

#include "core/validation.h"
#include "zkload/net.h"

namespace zk::bench {

namespace {

std::vector<std::string_view> split_commas(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

// The record as the editors store a new single-port mapping, before its kind is applied.
PortMapping plain_mapping(std::string_view name, std::string_view listen_port) {
    PortMapping m{};
    m.name = name;
    m.type = "TCP";
    m.listen_port_type = "0";
    m.listen_port = listen_port;
    m.listen_port_end = "0";
    m.destination_port_type = "0";
    m.destination_port_end = "0";
    m.enable_log = "0";
    m.enable_ip_strategy = "0";
    m.auto_start = "Y";
    m.http_proxy = "N";
    m.ssl_enable = "N";
    m.enable_smart = "0";
    m.smart_strategy = "0";
    return m;
}

// Applies DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]; false with `error` set when they are wrong.
bool apply_destination(PortMapping& m, const std::vector<std::string_view>& fields,
                       std::string& error) {
    if (fields.size() != 5 && !(m.type == "TCP" && fields.size() == 8)) {
        error = m.type == "TCP" ? "a TCP mapping needs DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]"
                                : "a UDP mapping needs DEST_IP,DEST_PORT";
        return false;
    }
    const std::string destination = std::string(fields[3]) + ":" + std::string(fields[4]);
    if (!parse_loopback(destination, error) || !port_number(fields[4])) {
        if (error.empty()) error = "bad destination port: " + std::string(fields[4]);
        return false;
    }
    m.destination_ip = fields[3];
    m.destination_port = fields[4];
    if (fields.size() == 5) return true;
    const std::string_view ssl_type = fields[5];
    if (fields[6].empty() || fields[7].empty()) {
        error = "a TLS end needs a certificate and a key";
        return false;
    }
    m.ssl_enable = "Y";
    m.ssl_type = ssl_type;
    if (ssl_type == "server") {
        m.server_cer = fields[6];
        m.private_key = fields[7];
    } else if (ssl_type == "client") {
        m.client_cer = fields[6];
        m.private_key_client = fields[7];
    } else {
        error = "SSL_TYPE must be client or server, not " + std::string(ssl_type);
        return false;
    }
    return true;
}

std::optional<PortMapping> mapping_from_option(std::string_view option, std::string& error) {
    const auto fields = split_commas(option);
    if (fields.size() < 3) {
        error = "expected NAME,KIND,LISTEN_PORT[,DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]]";
        return std::nullopt;
    }
    PortMapping m = plain_mapping(fields[0], fields[2]);
    const std::string_view kind = fields[1];
    if (kind == "PROXY") {
        if (fields.size() != 3) {
            error = "a PROXY mapping takes no destination";
            return std::nullopt;
        }
        m.http_proxy = "Y";
        m.destination_ip = kHttpProxyPlaceholder;
        m.destination_port = "0";
    } else if (kind == "TCP" || kind == "UDP") {
        m.type = kind;
        if (!apply_destination(m, fields, error)) return std::nullopt;
    } else {
        error = "KIND must be TCP, UDP or PROXY, not " + std::string(kind);
        return std::nullopt;
    }
    return m;
}

}  // namespace

std::optional<MappingTable> mappings_from_options(const std::vector<std::string>& options,
                                                  std::string& error) {
    MappingTable table;
    for (const auto& option : options) {
        std::string problem;
        auto m = mapping_from_option(option, problem);
        if (m) {
            if (auto refused = validate_mapping(*m, table, EditKind::add)) problem = *refused;
        }
        if (!problem.empty()) {
            error = "mapping " + std::to_string(table.size() + 1) + " (" + option + "): " + problem;
            return std::nullopt;
        }
        table.push_back(*m);
    }
    return table;
}

AppSettings bench_settings() {
    AppSettings s{};
    s.auto_startup = "0";
    s.monitor_router = "0";
    s.use_ie_setting = "0";
    s.voice_notify = "0";
    s.web_listen_port = "0";
    s.protect = "1";
    s.enable_web = "0";
    s.top_window = "0";
    return s;
}

}  // namespace zk::bench
