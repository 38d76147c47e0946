// The SOAP actions sent to the gateway's WAN connection service.
#include <string>

#include "upnp/gateway_text.h"
#include "upnp/upnp_nat.h"
#include "xml/xml_node.h"

namespace zk {
namespace {

std::string soap_body(std::string_view service_type, std::string_view action,
                      std::string_view arguments) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
        "<s:Body>\r\n";
    body.append("<u:").append(action).append(" xmlns:u=\"").append(service_type).append("\">\r\n");
    body.append(arguments);
    body.append("</u:").append(action).append(">\r\n");
    body.append("</s:Body>\r\n</s:Envelope>\r\n");
    return body;
}

std::string entry_arguments(int index) {
    return "<NewPortMappingIndex>" + std::to_string(index) +
           "</NewPortMappingIndex><NewRemoteHost></NewRemoteHost>\r\n"
           "<NewExternalPort></NewExternalPort>\r\n"
           "<NewProtocol></NewProtocol>\r\n"
           "<NewInternalPort></NewInternalPort>\r\n"
           "<NewInternalClient></NewInternalClient>\r\n"
           "<NewEnabled>1</NewEnabled>\r\n"
           "<NewPortMappingDescription></NewPortMappingDescription>\r\n"
           "<NewLeaseDuration></NewLeaseDuration>\r\n";
}

std::string missing_node(std::string_view name) {
    return "Fail to get mapping info from response data.(NO \"" + std::string(name) + "\" node.)\n";
}

bool accepted(const std::string& reply) {
    return reply.find("200 OK") != std::string::npos;
}

// Envelope, then Body, then the action's response element; sets `error` at the first missing.
XMLNode response_element(const std::string& reply, std::string_view response,
                         std::string_view prefixed_response, std::string& error) {
    const XMLNode envelope = xml_parse_text(reply, "Envelope");
    if (envelope.is_empty()) {
        error = missing_node("SOAP-ENV:Envelope");
        return {};
    }
    const XMLNode body = envelope.child_by_name("Body");
    if (body.is_empty()) {
        error = missing_node("SOAP-ENV:Body");
        return {};
    }
    XMLNode found = body.child_by_name(response);
    if (found.is_empty()) error = missing_node(prefixed_response);
    return found;
}

}  // namespace

bool UpnpNat::soap_exchange(const UrlParts& url, std::string_view action,
                            std::string_view arguments, std::string& reply) {
    if (!tcp_connect(url.host, url.port)) return false;
    const std::string body = soap_body(service_type_, action, arguments);
    std::string request = "POST " + url.path + " HTTP/1.1\r\nHOST: " + url.host + ":" +
                          std::to_string(url.port) + "\r\nSOAPACTION:\"" + service_type_ + "#" +
                          std::string(action) +
                          "\"\r\nCONTENT-TYPE: text/xml ; charset=\"utf-8\"\r\nContent-Length: " +
                          std::to_string(body.size()) + " \r\n\r\n";
    request += body;
    const bool answered = exchange(request, reply);
    connection_.close();
    return answered;
}

bool UpnpNat::get_external_address(std::string& destination) {
    const std::optional<UrlParts> url = parseUrl(control_url_);
    if (!url) {
        last_error_ = "Fail to parseURl: " + describe_url_ + "\n";
        return false;
    }
    std::string reply;
    if (!soap_exchange(*url, "GetExternalIPAddress", "", reply)) return false;
    if (!accepted(reply)) {
        last_error_ = "Fail to get router internet ip.\n";
        return false;
    }
    const XMLNode response = response_element(reply, "GetExternalIPAddressResponse",
                                              "u:GetExternalIPAddressResponse", last_error_);
    if (response.is_empty()) return false;
    const XMLNode address = response.child_by_name("NewExternalIPAddress");
    if (address.is_empty()) {
        last_error_ = missing_node("NewExternalIPAddress");
        return false;
    }
    destination = clip_text(address.text_at(0).value_or(""), kExternalAddressMax);
    return true;
}

bool UpnpNat::get_port_mappings() {
    mapping_entries_.clear();
    const std::optional<UrlParts> url = parseUrl(control_url_);
    if (!url) {
        last_error_ = "Fail to parseURl: " + describe_url_ + "\n";
        return false;
    }
    // The gateway's refusal of an index past its table is the normal end of the listing.
    for (int index = 0; index < kMaxMappingEntries; ++index) {
        if (!soap_exchange(*url, "GetGenericPortMappingEntry", entry_arguments(index),
                           mapping_info_)) {
            return false;
        }
        if (!accepted(mapping_info_)) break;
        if (!parse_mapping_info()) return false;
    }
    last_error_ = "Totally " + std::to_string(mapping_entries_.size()) + " mapping entries.\n";
    return true;
}

bool UpnpNat::parse_mapping_info() {
    const XMLNode response = response_element(mapping_info_, "GetGenericPortMappingEntryResponse",
                                              "u:GetGenericPortMappingEntryResponse", last_error_);
    if (response.is_empty()) return false;
    constexpr std::string_view kFields[] = {"NewExternalPort", "NewProtocol", "NewInternalPort",
                                            "NewInternalClient", "NewPortMappingDescription"};
    std::string values[std::size(kFields)];
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        const XMLNode field = response.child_by_name(kFields[i]);
        if (field.is_empty()) {
            last_error_ = missing_node(kFields[i]);
            return false;
        }
        values[i] = clip_text(field.text_at(0).value_or(""), kMaxEntryTextBytes);
    }
    // Read when present: a gateway that leaves them out still lists its table.
    const auto optional_field = [&response](std::string_view name) {
        const XMLNode field = response.child_by_name(name);
        return field.is_empty() ? std::string()
                                : clip_text(field.text_at(0).value_or(""), kMaxEntryTextBytes);
    };
    RouterPortMapping entry{values[4],
                            values[1],
                            values[0],
                            values[3],
                            values[2],
                            optional_field("NewEnabled"),
                            optional_field("NewLeaseDuration")};
    mapping_lines_.push_back(entry.external_port + "/" + entry.protocol + "[" + entry.description +
                             "]-->" + entry.internal_client + ":" + entry.internal_port + "\r\n");
    mapping_entries_.push_back(std::move(entry));
    return true;
}

}  // namespace zk
