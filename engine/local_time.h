#pragma once
// Local wall-clock time for the stamps of the event log and the protocol-debug dumps. The clock
// is a seam: writers take a LocalClock so tests can fix the time and check a stamp exactly.

#include <cstddef>
#include <functional>

namespace zk {

struct LocalTime {
    int year = 0;   // full year, e.g. 2024
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Must be callable from any thread at once.
using LocalClock = std::function<LocalTime()>;

// The machine's local time now (localtime_r, thread-safe).
LocalTime system_local_time();

// Writes "<MM/DD/YYYY hh:mm:ss>" (every field but the year with two digits and a leading zero,
// the year with all its digits) into `out` of `size` bytes, NUL-terminated. Returns the length
// of the stamp, as snprintf does.
int format_stamp(char* out, std::size_t size, const LocalTime& time);

}  // namespace zk
