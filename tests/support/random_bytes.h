#pragma once
// Reproducible random payloads for transfer tests.

#include <random>
#include <string>

namespace zk::test {

inline std::string random_bytes(std::size_t n, unsigned seed = 12345) {
    std::mt19937 generator(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator());
    return bytes;
}

}  // namespace zk::test
