// Feeds arbitrary bytes to the web request reader in pieces of fuzzer-chosen sizes, the way the
// connection loop feeds it, and checks the outcome against a reader fed one byte at a time: the
// splits must not change whether a request is accepted, and what it holds must come from the
// input. Then the request is parsed as the connection thread parses it.
//
// Input: the first byte picks the split pattern (low bits) and a small reader (bit 7); the rest is
// what the client sent.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "web/host_check.h"
#include "web/http_headers.h"
#include "web/request_reader.h"
#include "web/web_request.h"
#include "web/web_text.h"

namespace {

constexpr std::size_t kSmallCapacity = 256;

// A program directory with an empty image folder, so static targets reach the path checks. One
// fixed folder for every run: a run that stops at a finding leaves nothing new behind.
const std::string& program_dir() {
    static const std::string dir = [] {
        const std::string path = "/tmp/zk-web-fuzz";
        std::error_code error;
        std::filesystem::create_directories(path + "/image", error);
        return path;
    }();
    return dir;
}

// Piece sizes from a small generator: mostly short, now and then a whole buffer's worth.
class Splits {
public:
    explicit Splits(unsigned seed) : state_(seed * 2654435761u + 1) {}
    std::size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        const unsigned r = state_ >> 16;
        return r % 8 == 0 ? 16384 : 1 + r % 300;
    }

private:
    unsigned state_;
};

zk::RequestReader read_in_pieces(std::string_view input, std::size_t capacity, Splits* splits) {
    zk::RequestReader reader(capacity);
    std::size_t at = 0;
    while (reader.status() == zk::ReadStatus::more && at < input.size()) {
        const std::size_t wanted = reader.wanted();
        if (wanted == 0) std::abort();  // more is needed, so at least one byte must be asked for
        const std::size_t piece = splits ? std::min(splits->next(), wanted) : 1;
        const std::string_view bytes = input.substr(at, piece);
        at += bytes.size();
        const zk::ReadStatus status = reader.feed(bytes);
        if (status != reader.status()) std::abort();
        if (reader.text().size() >= capacity) std::abort();  // room for the NUL is kept
    }
    return reader;
}

bool is_prefix(std::string_view text, std::string_view input) {
    return input.substr(0, text.size()) == text;
}

bool is_subsequence(std::string_view part, std::string_view whole) {
    std::size_t at = 0;
    for (const char c : part) {
        at = whole.find(c, at);
        if (at == std::string_view::npos) return false;
        ++at;
    }
    return true;
}

// An empty part may point anywhere (a default view points nowhere).
bool inside(std::string_view part, std::string_view whole) {
    if (part.empty()) return true;
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

// A complete request: the header block as sent, then a body taken from what followed it.
void check_complete(const std::string& text, std::string_view input) {
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank == std::string::npos) std::abort();
    const std::size_t header_end = blank + 4;
    if (!is_prefix(std::string_view(text).substr(0, header_end), input)) std::abort();
    if (!is_subsequence(std::string_view(text).substr(header_end), input.substr(header_end))) {
        std::abort();
    }
}

void check_headers(std::string_view request) {
    const std::string_view header = zk::header_block(request);
    if (!is_prefix(header, request)) std::abort();
    for (const std::string_view name : {"Host", "Origin", "Referer"}) {
        const auto value = zk::header_value(header, name);
        if (!value) continue;
        if (!inside(*value, header) || value->find('\n') != std::string_view::npos) std::abort();
        const auto authority = zk::split_authority(*value);
        if (authority) {
            if (!inside(authority->host, *value) || !inside(authority->port, *value) ||
                authority->port.size() > 5) {
                std::abort();
            }
            if (!zk::same_authority(*value, *value)) std::abort();
        }
        (void)zk::HostAllowList({"zelkora.test"}).allows(value);
        const auto url = zk::url_authority(*value);
        if (url && !inside(*url, *value)) std::abort();
    }
}

// A mapping name travels back in links: its link form must decode to the same name, and its
// page form must carry no markup.
void check_name_round_trip(const std::string& name) {
    const auto fields = zk::split_form("name=" + zk::link_name(name) + "&action=edit");
    if (fields.size() != 2 || fields[0].key != "name" || fields[0].value != name) std::abort();
    const std::string escaped = zk::html_escape(name);
    if (escaped.find_first_of("<>\"") != std::string::npos) std::abort();
}

void check_parse(std::string_view request) {
    const auto parsed = zk::parse_web_request(request, program_dir());
    if (!parsed) return;
    const std::size_t first = request.find(' ');
    if (parsed->method != request.substr(0, first)) std::abort();
    if (parsed->target != request.substr(first + 1, parsed->target.size())) std::abort();
    if (parsed->target.size() > zk::kTargetLimit) std::abort();
    if (parsed->action == zk::WebAction::static_file) {
        if (parsed->file_path != program_dir() + parsed->target ||
            parsed->target.find("..") != std::string::npos) {
            std::abort();
        }
        return;
    }
    // Decoding never lengthens a text.
    if (parsed->mapping_name.size() > zk::kMappingNameLimit ||
        parsed->mapping_name.size() > parsed->target.size() ||
        parsed->session_text.size() > parsed->target.size()) {
        std::abort();
    }
    check_name_round_trip(parsed->mapping_name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t capacity = (data[0] & 0x80) ? kSmallCapacity : zk::kRequestCapacity;

    Splits splits(data[0] & 0x7f);
    const zk::RequestReader pieces = read_in_pieces(input, capacity, &splits);
    const zk::RequestReader bytes = read_in_pieces(input, capacity, nullptr);
    if (pieces.status() != bytes.status()) std::abort();
    if (pieces.status() == zk::ReadStatus::complete) {
        check_complete(pieces.text(), input);
        check_complete(bytes.text(), input);
        // Without a framed body a piece may have carried bytes past the blank line; they stay.
        if (pieces.text() != bytes.text() &&
            !(is_prefix(pieces.text(), input) && bytes.text() == zk::header_block(input))) {
            std::abort();
        }
    }
    check_headers(input);
    check_parse(input);
    if (pieces.status() == zk::ReadStatus::complete) check_parse(pieces.text());
    return 0;
}
