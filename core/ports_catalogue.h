#pragma once
// The often used ports catalogue: `ports_list.txt` in the program directory, one entry a line
// ("name|tcp ports|udp ports"), only ever appended to. The port texts are free text for reading;
// a picked entry may also suggest a mapping.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/port_mapping.h"

namespace zk {

inline constexpr const char* kPortsListFile = "ports_list.txt";
// The filter that keeps every entry.
inline constexpr std::string_view kAllPortsFilter = "ALL";
// The longest line the reader takes at once, its line end included; a longer one reads as
// several entries, so the writer refuses an entry whose line would be longer.
inline constexpr std::size_t kLongestPortsLine = 1023;
// Entries one load keeps: the grid never holds more, whatever the file has grown to.
inline constexpr std::size_t kMostPortsEntries = 10000;

struct PortsEntry {
    std::string name;
    std::string tcp_ports;
    std::string udp_ports;
    bool operator==(const PortsEntry&) const = default;
};

// One line of the file, with or without its line end: split at '|', empty pieces skipped; the
// third piece runs to the end of the line. Missing ports read as empty texts; nothing when the
// line holds no piece at all.
std::optional<PortsEntry> split_ports_line(std::string_view line);

// True when `filter` is "ALL", or `name` starts with the filter's first character or with that
// character in lower case.
bool passes_ports_filter(std::string_view name, std::string_view filter);

// Why an entry cannot be added (an empty name, a '|' or a control character that would break
// the file's lines, a line too long to read back as one entry), or nothing.
std::optional<std::string> validate_ports_entry(const PortsEntry& entry);

// The entry as the file keeps it: an empty TCP ports text is written as a single space.
PortsEntry written_ports_entry(PortsEntry entry);

// The entries of `program_dir`ports_list.txt that pass `filter`, in file order; the file is
// created empty when missing. Nothing when it cannot be opened.
std::optional<std::vector<PortsEntry>> load_ports_entries(const std::string& program_dir,
                                                          std::string_view filter);

// Appends the entry's line to `program_dir`ports_list.txt (created when missing). False, with
// nothing written, when the file cannot be opened or validate_ports_entry refuses the entry.
bool append_ports_entry(const std::string& program_dir, const PortsEntry& entry);

// A new mapping for the entry's ports: the name, TCP when the TCP text names a port (else UDP),
// and the first port or range of that text as both listen and destination ports. Nothing when
// neither text names a port. The destination address is left for the user.
std::optional<PortMapping> suggest_mapping(const PortsEntry& entry);

}  // namespace zk
