#pragma once
// The event log: one process-wide text file that receives a stamped line for every mapping
// start, session start and stop, refusal and trigger start and stop.
//
// Threading: log_event and EventLog::write may be called from any thread at once. Each line is
// built in a buffer of its own call and handed to the kernel with one write() on a descriptor
// opened with O_APPEND, so lines of different threads never mix. Open the log before other
// threads use it.

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <string>

#include "engine/local_time.h"

namespace zk {

// Stamp, message and terminating NUL together; a longer message is cut, the stamp never.
inline constexpr std::size_t kEventLineSize = 10240;

class EventLog {
public:
    explicit EventLog(LocalClock clock = system_local_time);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens `path` for appending, creating it (mode 0666 less the umask). On failure prints
    // "open log file <path> fail, errno is <errno>" to the standard output, stays as it was and
    // returns false. Opening again replaces the file; do that only while no thread logs.
    bool open(const std::string& path);
    bool is_open() const;

    // Formats the message (printf conventions) and writes "<MM/DD/YYYY hh:mm:ss>:" followed by
    // it. Nothing is added after the message: messages carry their own line end. While the log
    // is closed the line and a "\n" go to the standard output instead. Write errors are ignored.
    void write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void write_v(const char* format, std::va_list args);

private:
    LocalClock clock_;
    std::atomic<int> fd_{-1};  // -1 while closed
};

// The process-wide event log, on the system clock.
EventLog& event_log();

// Opens the process-wide event log (see EventLog::open).
bool event_log_open(const std::string& path);

// Writes one line to the process-wide event log (see EventLog::write).
void log_event(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zk
