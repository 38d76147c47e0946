#pragma once
// The checks a mapping and an address range pass before an editor (dialog or web page) accepts
// them. Pure functions: they return the message to show, or nothing when the input is accepted.

#include <optional>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

namespace zk {

// Title of every input-error box.
inline constexpr const char* kErrorTitle = "ERROR!";

enum class EditKind { add, edit };

// True when the text holds a C0 control character or DEL. Names are shown in lists and pages and
// written into log lines: a line break or an escape sequence in one could forge those.
bool has_control_character(std::string_view text);

// The port a text names: decimal digits only, 1 to 65535; nothing otherwise.
std::optional<int> port_number(std::string_view text);

// Runs the checks in their fixed order and returns the first failure's message. The name is
// tested against the table only when a new mapping is being added.
std::optional<std::string> validate_mapping(const PortMapping& mapping, const MappingTable& table,
                                            EditKind kind);

// An empty end takes the start (a single address is a range of one); an empty start is refused.
std::optional<std::string> complete_ip_range(IpRange& range);

}  // namespace zk
