// Feeds arbitrary bytes as a posted request to the form-body parser of the add and edit pages.
// Beyond "never crash": the fields are the pieces of the body, decoding never lengthens a text,
// any field survives being percent-encoded and split again, every list entry of the record comes
// from one field of its kind, and list entries are split as the form's "a|b|c" values demand.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/form_body.h"
#include "web/web_text.h"

namespace {

std::string percent_encoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

void check_entry(std::string_view value, int count) {
    std::array<std::string, 4> fields;
    fields.fill("stale");
    zk::split_entry(value, fields.data(), count);
    for (int i = 0; i < count; ++i) {
        const std::string& f = fields[static_cast<std::size_t>(i)];
        if (value.find(f) == std::string_view::npos) std::abort();
        const bool last = i + 1 == count;
        if (!last && f.find('|') != std::string::npos) std::abort();
        if (last && std::any_of(f.begin(), f.end(), [](char c) {
                return std::isspace(static_cast<unsigned char>(c)) != 0;
            })) {
            std::abort();
        }
    }
    // The first field stops at the first "|": nothing before it is skipped.
    if (count > 1 && !fields[0].empty() && value.substr(0, fields[0].size()) != fields[0]) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string request(reinterpret_cast<const char*>(data), size);

    const auto body = zk::request_body(request);
    const bool has_blank = request.find("\r\n\r\n") != std::string::npos;
    if (body.has_value() != has_blank) std::abort();
    const auto mapping = zk::parse_mapping_form(request);
    const auto name = zk::form_name(request);
    if (mapping.has_value() != has_blank || name.has_value() != has_blank) std::abort();
    if (!body) return 0;
    if (body->data() + body->size() != request.data() + request.size()) std::abort();

    const auto fields = zk::split_form(*body);
    if (fields.size() != static_cast<std::size_t>(std::count(body->begin(), body->end(), '&')) + 1)
        std::abort();
    std::string encoded;
    std::size_t routes = 0, robins = 0, allows = 0, blocks = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const zk::FormField& f = fields[i];
        if (f.key.size() + f.value.size() > body->size()) std::abort();
        if (i > 0) encoded += '&';
        encoded += percent_encoded(f.key) + "=" + percent_encoded(f.value);
        if (i == 0) continue;  // the first piece is the name, whatever its key
        if (f.key == "port.route_datas") {
            ++routes;
            check_entry(f.value, 4);
        } else if (f.key == "port.round_robin_datas") {
            ++robins;
            check_entry(f.value, 2);
        } else if (f.key == "port.allow_ip_ranges") {
            ++allows;
        } else if (f.key == "port.block_ip_ranges") {
            ++blocks;
        }
    }
    const auto again = zk::split_form(encoded);
    if (again.size() != fields.size()) std::abort();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (again[i].key != fields[i].key || again[i].value != fields[i].value) std::abort();
    }

    // The record's name field holds what fits before any NUL.
    const std::string_view first = fields.front().value;
    const std::string_view stored =
        first.substr(0, std::min(first.find('\0'), decltype(mapping->name)::capacity - 1));
    if (mapping->name.view() != stored || *name != first) std::abort();
    if (mapping->smart_ip_range.size() != routes || mapping->smart_round_robin.size() != robins ||
        mapping->allow_ip.size() != allows || mapping->block_ip.size() != blocks) {
        std::abort();
    }
    if (mapping->listen_port_type.empty() || mapping->destination_port_type.empty()) std::abort();
    return 0;
}
