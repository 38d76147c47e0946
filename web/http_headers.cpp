#include "web/http_headers.h"

#include <algorithm>
#include <cctype>

namespace zk {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string_view> header_value(std::string_view header, std::string_view name) {
    std::size_t at = header.find('\n');  // past the request line
    // Every turn moves past one line, so the loop ends with the block.
    while (at != std::string_view::npos && at + 1 < header.size()) {
        const std::size_t start = at + 1;
        const std::size_t end = header.find('\n', start);
        const std::string_view line =
            header.substr(start, end == std::string_view::npos ? end : end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equals_no_case(line.substr(0, colon), name)) {
            return trimmed(line.substr(colon + 1));
        }
        at = end;
    }
    return std::nullopt;
}

}  // namespace zk
