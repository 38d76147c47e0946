#pragma once
// Whether a text a user or a peer gave as an address is a host name to look up rather than a
// dotted address. Each place that resolves one looks for a letter (a to z, A to Z) in its own
// fixed position, and only there.

#include <algorithm>
#include <string_view>

namespace zk {

enum class LetterAt { anywhere, first, last };

// True when `text` has a letter at `where`; false for an empty text.
inline bool names_a_host(std::string_view text, LetterAt where) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (text.empty()) return false;
    switch (where) {
        case LetterAt::first: return letter(text.front());
        case LetterAt::last: return letter(text.back());
        case LetterAt::anywhere: break;
    }
    return std::any_of(text.begin(), text.end(), letter);
}

}  // namespace zk
