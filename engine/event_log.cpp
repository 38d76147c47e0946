#include "engine/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>

namespace zk {
namespace {

// Appends `message` to line[used..limit), control characters written as \xNN so that a name
// holding a line break cannot forge a line of its own. The line end a message carries stays.
std::size_t append_escaped(char* line, std::size_t used, std::size_t limit,
                           std::string_view message) {
    const bool line_end = !message.empty() && message.back() == '\n';
    if (line_end) message.remove_suffix(1);
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7F;
        const std::size_t need = control ? 4 : 1;
        if (used + need > limit - (line_end ? 1 : 0)) break;  // cut to fit, keeping the end
        if (control) {
            std::snprintf(line + used, 5, "\\x%02X", byte);
        } else {
            line[used] = c;
        }
        used += need;
    }
    if (line_end) line[used++] = '\n';
    return used;
}

}  // namespace

EventLog::EventLog(LocalClock clock) : clock_(std::move(clock)) {}

EventLog::~EventLog() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool EventLog::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        std::printf("open log file %s fail, errno is %d\n", path.c_str(), error);
        std::fflush(stdout);
        errno = error;
        return false;
    }
    const int previous = fd_.exchange(fd);
    if (previous >= 0) ::close(previous);
    return true;
}

bool EventLog::is_open() const {
    return fd_ >= 0;
}

void EventLog::write(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    write_v(format, args);
    va_end(args);
}

void EventLog::write_v(const char* format, std::va_list args) {
    char line[kEventLineSize];
    // The stamp is some twenty bytes; room for the ':' and the NUL is kept whatever it holds.
    const int stamp = format_stamp(line, sizeof line, clock_());
    std::size_t used = std::min<std::size_t>(std::max(stamp, 0), sizeof line - 2);
    line[used++] = ':';
    char message[kEventLineSize];
    const int length = std::vsnprintf(message, sizeof message, format, args);
    if (length > 0) {
        used = append_escaped(line, used, sizeof line - 1,
                              {message, std::min<std::size_t>(length, sizeof message - 1)});
    }

    const int fd = fd_.load(std::memory_order_acquire);
    if (fd >= 0) {
        // One write per line keeps lines of concurrent writers whole; errors are ignored.
        while (::write(fd, line, used) < 0 && errno == EINTR) {
        }
        return;
    }
    ::flockfile(stdout);
    std::fwrite(line, 1, used, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    ::funlockfile(stdout);
}

EventLog& event_log() {
    static EventLog log;
    return log;
}

bool event_log_open(const std::string& path) {
    return event_log().open(path);
}

void log_event(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    event_log().write_v(format, args);
    va_end(args);
}

}  // namespace zk
