#pragma once
// A NUL-terminated 8-bit text in a fixed buffer of N bytes (N includes the NUL), as stored in
// config.xml and shown to peers. Assigning a longer value cuts it to N - 1 bytes.

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace zk {

template <std::size_t N>
class FixedText {
    static_assert(N >= 2);

public:
    static constexpr std::size_t capacity = N;

    FixedText() = default;
    explicit FixedText(std::string_view value) { assign(value); }

    FixedText& operator=(std::string_view value) {
        assign(value);
        return *this;
    }
    FixedText& operator=(const char* value) {
        assign(value);
        return *this;
    }

    // Copies up to N - 1 bytes, stopping at an embedded NUL, and zero-fills the rest.
    void assign(std::string_view value) {
        const std::size_t nul = value.find('\0');
        if (nul != std::string_view::npos) value = value.substr(0, nul);
        const std::size_t n = value.size() < N - 1 ? value.size() : N - 1;
        if (n > 0) std::memcpy(bytes_.data(), value.data(), n);  // data() may be null when empty
        std::memset(bytes_.data() + n, 0, N - n);
    }

    const char* c_str() const { return bytes_.data(); }
    char* data() { return bytes_.data(); }
    std::string_view view() const { return {bytes_.data(), ::strnlen(bytes_.data(), N)}; }
    std::string str() const { return std::string(view()); }
    bool empty() const { return bytes_[0] == '\0'; }
    operator std::string_view() const { return view(); }  // NOLINT

    bool operator==(const FixedText& other) const { return view() == other.view(); }
    bool operator==(std::string_view other) const { return view() == other; }

private:
    std::array<char, N> bytes_{};
};

}  // namespace zk
