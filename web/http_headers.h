#pragma once
// Header fields of a request's header block, found by name without regard to case.

#include <optional>
#include <string_view>

#include "core/ascii_text.h"

namespace zk {

// The value of the first header line named `name` (blanks around it trimmed), after the request
// line; nothing when there is none.
std::optional<std::string_view> header_value(std::string_view header, std::string_view name);

}  // namespace zk
