// Feeds arbitrary bytes to what the router client does with a gateway's replies: the search for
// the WAN connection service in a device description, the reading of a port-mapping entry and of
// the external address from SOAP replies, the URLs taken from them, and the report printed from
// it all. Beyond "never crash": found values come from the reply (decoding only shortens them),
// every kept text is within its bound and whole UTF-8, and the printed report holds no control
// characters.
//
// Input: the description URL up to the first line feed, then the reply.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "upnp/gateway_text.h"
#include "upnp/router_report.h"
#include "upnp/upnp_nat.h"

namespace {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF): an oracle written apart from the client's own decoder.
bool is_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = 0;
        unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + n > text.size()) return false;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high) return false;
        for (std::size_t k = 2; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

bool has_control(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) return true;
        // C1 controls are U+0080 to U+009F: C2 80 to C2 9F.
        if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

void check_url(std::string_view url) {
    const auto parts = zk::UpnpNat::parseUrl(url);
    if (!parts) return;
    if (url.find(parts->host) == std::string_view::npos || parts->path.empty() ||
        parts->path.front() != '/' || url.substr(url.size() - parts->path.size()) != parts->path) {
        std::abort();
    }
}

void check_description(const std::string& describe_url, const std::string& reply) {
    zk::UpnpNat client;
    client.set_description(describe_url, reply);
    if (!client.parser_description()) {
        if (client.last_error().empty()) std::abort();
        return;
    }
    if (client.service_type() != zk::kServiceWanIp && client.service_type() != zk::kServiceWanPpp)
        std::abort();
    // The base comes from the reply's URLBase or is the start of the description URL.
    if (client.base_URL().size() > reply.size() &&
        describe_url.compare(0, client.base_URL().size(), client.base_URL()) != 0) {
        std::abort();
    }
    const std::string& control = client.control_url();
    if (control.size() > client.base_URL().size() + reply.size()) std::abort();
    if (control.find("http://") == std::string::npos &&
        control.find("HTTP://") == std::string::npos) {
        // A relative control URL is joined to the base (a shared slash written once).
        if (control.compare(0, client.base_URL().size(), client.base_URL()) != 0) std::abort();
    }
    check_url(control);
}

void check_entry(const std::string& reply) {
    zk::UpnpNat client;
    client.set_mapping_info(reply);
    if (!client.parse_mapping_info()) {
        if (!client.mapping_entries().empty() || client.last_error().empty()) std::abort();
        return;
    }
    if (client.mapping_entries().size() != 1 || client.mapping_lines().size() != 1) std::abort();
    const zk::RouterPortMapping& e = client.mapping_entries().front();
    for (const std::string* text :
         {&e.description, &e.protocol, &e.external_port, &e.internal_client, &e.internal_port}) {
        if (text->size() > zk::kMaxEntryTextBytes || text->size() > reply.size()) std::abort();
        if (is_utf8(reply) && !is_utf8(*text)) std::abort();  // never cut inside a character
    }
    zk::RouterReport report;
    report.external_address = e.internal_client;
    report.lines = client.mapping_lines();
    const std::string printed = zk::format_router_report(report);
    std::size_t lines = 0;
    for (const char c : printed)
        lines += c == '\n';
    // Only the report's own line ends: a gateway's text cannot add or break lines.
    if (lines != 2 || printed.back() != '\n' ||
        has_control(std::string_view(printed).substr(0, printed.find('\n'))) ||
        has_control(std::string_view(printed).substr(printed.find('\n') + 1,
                                                     printed.size() - printed.find('\n') - 2))) {
        std::abort();
    }
}

void check_texts(std::string_view text) {
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{7},
                                    zk::kExternalAddressMax, zk::kMaxEntryTextBytes}) {
        const std::string clipped = zk::clip_text(text, limit);
        if (clipped.size() > limit || text.substr(0, clipped.size()) != clipped) std::abort();
        if (is_utf8(text) && !is_utf8(clipped)) std::abort();
    }
    const std::string printable = zk::printable_text(text);
    if (!is_utf8(printable) || has_control(printable)) std::abort();
    if (is_utf8(text) && !has_control(text) && printable != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = input.find('\n');
    const std::string describe_url = input.substr(0, line_end);
    const std::string reply = line_end == std::string::npos ? input : input.substr(line_end + 1);

    check_url(describe_url);
    check_description(describe_url, reply);
    check_entry(reply);
    check_texts(reply.substr(0, 4096));
    return 0;
}
