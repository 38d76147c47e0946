#include "upnp/router_report.h"

#include "upnp/gateway_text.h"

namespace zk {
namespace {

constexpr const char* kNoRouter =
    "Failed to find a router.Please make sure your router's UPnP option is enabled.If you still "
    "get this error,you should set your windows firewall or other firewall you installed,open "
    "port 1900 of UDP and port 2869 of TCP.";
constexpr const char* kNoDescription = "Failed to get router's description!";
constexpr const char* kBadDescription = "Failed to parse router's description!";
constexpr const char* kNoMappings = "Failed to get router's port mappings!";
constexpr std::string_view kUnknownAddress =
    "unknown (the gateway did not tell its external address)";

RouterReport failed(const char* message, const UpnpNat& client) {
    RouterReport report;
    report.failure = message;
    report.detail = client.last_error();
    return report;
}

}  // namespace

RouterReport run_router_command(const UpnpOptions& options) {
    UpnpNat client(options);
    if (!client.discovery()) return failed(kNoRouter, client);
    if (!client.get_description()) return failed(kNoDescription, client);
    if (!client.parser_description()) return failed(kBadDescription, client);
    if (!client.get_port_mappings()) return failed(kNoMappings, client);

    RouterReport report;
    // The listing stands on its own; an address the gateway will not give stays empty.
    if (!client.get_external_address(report.external_address)) report.external_address.clear();
    for (std::string line : client.mapping_lines()) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        report.lines.push_back(std::move(line));
    }
    report.entries = client.mapping_entries();
    return report;
}

std::string format_router_report(const RouterReport& report) {
    if (report.failure) return *report.failure + "\n";
    std::string text = report.external_address.empty() ? std::string(kUnknownAddress)
                                                       : printable_text(report.external_address);
    text += "\n";
    for (const std::string& line : report.lines)
        text += printable_text(line) + "\n";
    return text;
}

}  // namespace zk
