#include "core/ports_catalogue.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "core/validation.h"

namespace zk {
namespace {

constexpr std::string_view kBlanks = " \t";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string ports_path(const std::string& program_dir) {
    return program_dir + kPortsListFile;
}

std::string ports_line(const PortsEntry& written) {
    return written.name + '|' + written.tcp_ports + '|' + written.udp_ports + '\n';
}

// The next piece of the file: up to and including a line feed, at most kLongestPortsLine
// characters. Nothing at the end of the file.
std::optional<std::string> next_piece(std::FILE* file) {
    std::string piece;
    int c = 0;
    while (piece.size() < kLongestPortsLine && (c = std::getc(file)) != EOF) {
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (piece.empty()) return std::nullopt;
    return piece;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

struct PortSpan {
    int first;
    int last;
};

// The first item of a "443,1024-5000,5190" text that is a port or an ascending range.
std::optional<PortSpan> first_port_span(std::string_view text) {
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const auto dash = item.find('-');
        const auto first = port_number(trimmed(item.substr(0, dash)));
        const auto last =
            dash == std::string_view::npos ? first : port_number(trimmed(item.substr(dash + 1)));
        if (first && last && *last >= *first) return PortSpan{*first, *last};
    }
    return std::nullopt;
}

// `name` cut to what a mapping name holds, never inside a UTF-8 character.
std::string_view mapping_name(std::string_view name) {
    constexpr std::size_t kMost = decltype(PortMapping::name)::capacity - 1;
    if (name.size() <= kMost) return name;
    std::size_t cut = kMost;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

}  // namespace

std::optional<PortsEntry> split_ports_line(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    // The next non-empty piece: up to the next bar, or to the end of the line.
    const auto next_piece_of_line = [&line](bool to_end) {
        const auto start = line.find_first_not_of('|');
        if (start == std::string_view::npos) return std::string{};
        line.remove_prefix(start);
        const std::string_view piece = line.substr(0, to_end ? line.npos : line.find('|'));
        line.remove_prefix(piece.size());
        return std::string(piece);
    };
    PortsEntry entry;
    entry.name = next_piece_of_line(false);
    if (entry.name.empty()) return std::nullopt;
    entry.tcp_ports = next_piece_of_line(false);
    entry.udp_ports = next_piece_of_line(true);
    return entry;
}

bool passes_ports_filter(std::string_view name, std::string_view filter) {
    if (filter == kAllPortsFilter) return true;
    if (name.empty() || filter.empty()) return false;
    const char first = filter.front();
    const auto lower = static_cast<char>(std::tolower(static_cast<unsigned char>(first)));
    return name.front() == first || name.front() == lower;
}

std::optional<std::string> validate_ports_entry(const PortsEntry& entry) {
    if (entry.name.empty()) return "invalid application name, please reenter again!";
    for (const std::string* text : {&entry.name, &entry.tcp_ports, &entry.udp_ports}) {
        // Either would end the entry's line or field early when the file is read back.
        if (text->find('|') != std::string::npos || has_control_character(*text)) {
            return "an entry may not hold '|' or a line break, please reenter again!";
        }
    }
    if (ports_line(written_ports_entry(entry)).size() > kLongestPortsLine) {
        return "the entry is too long, please shorten it!";
    }
    return std::nullopt;
}

PortsEntry written_ports_entry(PortsEntry entry) {
    if (entry.tcp_ports.empty()) entry.tcp_ports.push_back(' ');
    return entry;
}

std::optional<std::vector<PortsEntry>> load_ports_entries(const std::string& program_dir,
                                                          std::string_view filter) {
    const File file(std::fopen(ports_path(program_dir).c_str(), "a+"));
    if (!file) return std::nullopt;
    std::vector<PortsEntry> entries;
    while (entries.size() < kMostPortsEntries) {
        const auto piece = next_piece(file.get());
        if (!piece) break;
        auto entry = split_ports_line(*piece);
        if (entry && passes_ports_filter(entry->name, filter)) entries.push_back(*std::move(entry));
    }
    return entries;
}

bool append_ports_entry(const std::string& program_dir, const PortsEntry& entry) {
    if (validate_ports_entry(entry)) return false;
    const File file(std::fopen(ports_path(program_dir).c_str(), "a"));
    if (!file) return false;
    const std::string line = ports_line(written_ports_entry(entry));
    return std::fwrite(line.data(), 1, line.size(), file.get()) == line.size() &&
           std::fflush(file.get()) == 0;
}

std::optional<PortMapping> suggest_mapping(const PortsEntry& entry) {
    const auto tcp = first_port_span(entry.tcp_ports);
    const auto span = tcp ? tcp : first_port_span(entry.udp_ports);
    if (!span) return std::nullopt;
    PortMapping m{};
    m.name = mapping_name(entry.name);
    m.type = tcp ? "TCP" : "UDP";
    const bool range = span->last > span->first;
    m.listen_port_type = range ? "1" : "0";
    m.destination_port_type = m.listen_port_type;
    m.listen_port = std::to_string(span->first);
    m.destination_port = m.listen_port;
    if (range) {
        m.listen_port_end = std::to_string(span->last);
        m.destination_port_end = m.listen_port_end;
    }
    return m;
}

}  // namespace zk
