#include "upnp/gateway_text.h"

#include <algorithm>

namespace zk {
namespace {

struct Utf8Char {
    std::size_t length = 0;  // 0: the text does not start with a well-formed character
    char32_t code = 0;
};

bool is_continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The character at the start of `text`, rejecting overlong forms, surrogates and code points
// above U+10FFFF as decoders must.
Utf8Char first_char(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return {1, lead};
    // Lead bytes C0, C1 and F5 to FF begin no well-formed character.
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;  // below this the same length is an overlong form
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return {};
    }
    if (text.size() < length) return {};
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!is_continuation(byte)) return {};
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
    return {length, code};
}

bool is_control(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

}  // namespace

std::string clip_text(std::string_view text, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = std::max<std::size_t>(first_char(text.substr(end)).length, 1);
        if (end + length > max_bytes) break;
        end += length;
    }
    return std::string(text.substr(0, end));
}

std::string printable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Utf8Char c = first_char(text);
        if (c.length == 0 || is_control(c.code)) {
            out += '?';
            text.remove_prefix(c.length == 0 ? 1 : c.length);
        } else {
            out.append(text.substr(0, c.length));
            text.remove_prefix(c.length);
        }
    }
    return out;
}

}  // namespace zk
