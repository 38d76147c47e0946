#include "web/web_text.h"

#include <algorithm>

namespace zk {

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void url_decode(std::string& text) {
    std::replace(text.begin(), text.end(), '+', ' ');
    std::size_t out = 0;
    for (std::size_t in = 0; in < text.size(); ++in) {
        if (text[in] != '%') {
            text[out++] = text[in];
            continue;
        }
        const int high = in + 1 < text.size() ? hex_digit_value(text[in + 1]) : -1;
        const int low = in + 2 < text.size() ? hex_digit_value(text[in + 2]) : -1;
        if (high >= 0 && low >= 0) {
            text[out++] = static_cast<char>(high * 16 + low);
            in += 2;
        }
    }
    text.resize(out);
}

std::vector<FormField> split_form(std::string_view text) {
    std::vector<FormField> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t amp = text.find('&', start);
        const std::string_view piece =
            text.substr(start, amp == std::string_view::npos ? amp : amp - start);
        const std::size_t eq = piece.find('=');
        FormField field{std::string(piece.substr(0, eq)), eq == std::string_view::npos
                                                              ? std::string()
                                                              : std::string(piece.substr(eq + 1))};
        url_decode(field.key);
        url_decode(field.value);
        fields.push_back(std::move(field));
        if (amp == std::string_view::npos) return fields;
        start = amp + 1;
    }
}

std::string html_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out.append("&amp;"); break;
            case '<': out.append("&lt;"); break;
            case '>': out.append("&gt;"); break;
            case '"': out.append("&quot;"); break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string link_name(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        if (c == '%' || c == '+' || c == '&' || c == '#') {
            const auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace zk
