#pragma once
// Comparisons of protocol texts (header names, methods), where letter case carries no meaning.

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zk {

// True when both texts are equal, ASCII letters compared without regard to case.
inline bool equals_no_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace zk
