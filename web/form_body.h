#pragma once
// The body of the add and edit forms ("port.name=...&port.type=0&...") turned into a mapping
// record, by the fixed key table.

#include <optional>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

namespace zk {

// The request's body: the text after its first blank line; nothing without one.
std::optional<std::string_view> request_body(std::string_view request);

// The name the body carries: the text after the first "=" of its first piece (empty when that
// piece has none). Nothing when the request has no body.
std::optional<std::string> form_name(std::string_view request);

// The record the form describes, from the body of `request`; nothing when the request has no
// body. Fields the form does not carry (the debug log, the SSL settings) stay empty.
std::optional<PortMapping> parse_mapping_form(std::string_view request);

// A list entry's value split at "|" as scanf's "%[^|]|...|%s" splits it: every field but the
// last ends at "|" and must not be empty, the last ends at white space; fields after the first
// that fails stay empty. `count` fields are written to `fields`.
void split_entry(std::string_view value, std::string* fields, int count);

}  // namespace zk
