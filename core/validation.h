#pragma once
// The checks a mapping, an address range and a trigger entry pass before an editor (dialog or
// web page) or a model command accepts them. Pure functions: they return the message to show, or
// nothing when the input is accepted.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/port_mapping.h"
#include "core/port_trigger.h"

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

// The shortest pause between trigger passes: a shorter one (0 passes without any) would keep a
// thread per port busy sending.
inline constexpr int kShortestTriggerPeriodMs = 1000;
// Ports one trigger may span; every port costs a thread and a socket.
inline constexpr int kMostTriggerPorts = 1024;

// The protocol texts a trigger may hold: each kind it names is sent.
inline constexpr std::string_view kTriggerProtocols[] = {"TCP", "UDP", "TCP,UDP"};

// True when a trigger address names a host that resolves. Core does no look-ups: the caller
// hands one in.
using AddressCheck = std::function<bool(const std::string& host)>;

// Runs the trigger checks in their fixed order and returns the first failure's message.
// `editing` is the name of the entry being changed (empty for a new one): keeping it is no
// clash. A dotted address is taken as it is; one that starts with a letter is a host name,
// checked through `resolves` last, after every cheap check passed, since a look-up may block.
// Without `resolves` a host name passes.
std::optional<std::string> validate_trigger(const PortTrigger& trigger, const TriggerTable& table,
                                            std::string_view editing,
                                            const AddressCheck& resolves = {});

// An empty end takes the start (a single address is a range of one); an empty start is refused.
std::optional<std::string> complete_ip_range(IpRange& range);

}  // namespace zk
