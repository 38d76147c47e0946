#include "engine/local_time.h"

#include <cstdio>
#include <ctime>

namespace zk {

LocalTime system_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

int format_stamp(char* out, std::size_t size, const LocalTime& time) {
    return std::snprintf(out, size, "<%02d/%02d/%02d %02d:%02d:%02d>", time.month, time.day,
                         time.year, time.hour, time.minute, time.second);
}

}  // namespace zk
