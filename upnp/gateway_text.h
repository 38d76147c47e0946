#pragma once
// Texts the gateway sent, made safe to hold and to show (also by the windows that list them).

#include <cstddef>
#include <string>
#include <string_view>

namespace zk {

// `text` cut to at most `max_bytes` bytes without splitting a UTF-8 character.
std::string clip_text(std::string_view text, std::size_t max_bytes);

// `text` for a terminal: every control character (C0, DEL and C1) and every byte that is not
// part of well-formed UTF-8 becomes '?', so a gateway cannot move the cursor, rewrite a line or
// send escape sequences; other UTF-8 text stays as it is.
std::string printable_text(std::string_view text);

}  // namespace zk
