#pragma once
// The address to connect to for a host text that may be a name. Internal to the engine; any
// thread (the resolver is thread-safe).

#include <string>

#include "core/host_name.h"
#include "engine/engine.h"

namespace zk {

// The resolver's dotted address when `host` has a letter at `where`; otherwise, or when the
// look-up fails, `host` unchanged (a dotted address, or a name that then fails to connect).
std::string address_or_text(const Resolver& resolve, const std::string& host, LetterAt where);

}  // namespace zk
