#pragma once
// The main list's view of a mapping: nine columns, the same in the desktop window, the web
// pages and `zelkorad --check`.

#include <array>
#include <string>
#include <string_view>

#include "core/port_mapping.h"

namespace zk {

inline constexpr std::string_view kStatusRunning = "running";
inline constexpr std::string_view kStatusStop = "stop";
// Between a start and the listeners' report: a second start is refused meanwhile.
inline constexpr std::string_view kStatusStarting = "starting";

inline constexpr std::array<std::string_view, 9> kListColumnTitles = {
    "Name",        "Type",           "Status",           "Sessions",  "Max Sessions",
    "Listen Port", "Destination IP", "Destination Port", "Auto Start"};

using ListRow = std::array<std::string, 9>;

ListRow list_row(const PortMapping& mapping, std::string_view status, int sessions);

}  // namespace zk
