#pragma once
// The main list's view of a mapping: nine columns, the same in the desktop window, the web
// pages and `zelkorad --check`.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

namespace zk {

inline constexpr std::string_view kStatusRunning = "running";
inline constexpr std::string_view kStatusStop = "stop";
// Between a start and the listeners' report: a second start is refused meanwhile.
inline constexpr std::string_view kStatusStarting = "starting";

// The columns in their order on screen.
enum class ListColumn {
    name,
    type,
    status,
    sessions,
    max_sessions,
    listen_port,
    destination_ip,
    destination_port,
    auto_start,
};
inline constexpr std::size_t kListColumnCount =
    static_cast<std::size_t>(ListColumn::auto_start) + 1;

inline constexpr std::array<std::string_view, kListColumnCount> kListColumnTitles = {
    "Name",        "Type",           "Status",           "Sessions",  "Max Sessions",
    "Listen Port", "Destination IP", "Destination Port", "Auto Start"};

// The cells in column order; cell() reads one by name.
using ListRow = std::array<std::string, kListColumnCount>;

inline const std::string& cell(const ListRow& row, ListColumn column) {
    return row[static_cast<std::size_t>(column)];
}

ListRow list_row(const PortMapping& mapping, std::string_view status, int sessions);

}  // namespace zk
