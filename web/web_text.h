#pragma once
// Text conversions of the web interface: URL decoding of targets and form bodies, HTML escaping
// of everything placed into pages, and the form of a mapping name inside a link.

#include <string>
#include <string_view>
#include <vector>

namespace zk {

// Every "+" becomes a space; then, left to right, "%" and two hexadecimal digits (either case)
// become the byte they give; a "%" without two hexadecimal digits after it is dropped and the
// characters after it stay.
void url_decode(std::string& text);

// The value of one hexadecimal digit (either case); -1 for any other character.
int hex_digit_value(char c);

// One "key=value" piece of a query string or a form body.
struct FormField {
    std::string key;
    std::string value;  // empty when the piece has no "="
};

// Splits at every "&", then each piece at its first "=", and only then URL-decodes key and
// value: an encoded "&" or "=" stays inside its value. One field per piece, empty ones included.
std::vector<FormField> split_form(std::string_view text);

// `&`, `<`, `>` and `"` as entities, so no text from a mapping or a request can add markup.
std::string html_escape(std::string_view text);

// A mapping name as it goes into a link, before HTML escaping. Spaces stay as they are; the few
// bytes that decoding would otherwise turn into something else ("%", "+", "&", "#") are written
// as "%XX", so following the link finds the mapping again.
std::string link_name(std::string_view name);

}  // namespace zk
