#include "engine/head_reader.h"

#include <sys/socket.h>

#include <cerrno>
#include <string_view>

#include "engine/brellix_socket.h"
#include "engine/http_request.h"

namespace zk {
namespace {

// The most a peek looks at: a long head is taken in several runs.
constexpr std::size_t kPeekSize = 16384;

// How many of the `n` queued bytes at `data` belong to the head: through the empty line that
// ends it when that is among them (then `end` is set), otherwise all of them. `open_line` holds
// the bytes of an unfinished line taken before, which the first line here continues.
std::size_t head_part(const char* data, std::size_t n, std::string_view open_line, bool& end) {
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (data[i] != '\n') continue;
        // The line without its line feed: "" or "\r" ends the head.
        const bool continued = line_start == 0 && !open_line.empty();
        const std::size_t length = (continued ? open_line.size() : 0) + (i - line_start);
        const char first = continued ? open_line.front() : data[line_start];
        if (length == 0 || (length == 1 && first == '\r')) {
            end = true;
            return i + 1;
        }
        line_start = i + 1;
    }
    return n;
}

}  // namespace

bool HeadReader::take_more() {
    if (fd_ <= 0) {  // TLS: one byte at a time
        std::string line(kProxyLineSize, '\0');
        std::size_t count = 0;
        const int result = leg_.read_line(line.data(), line.size(), count, wait_us_);
        if (result != kSocketDone) return false;
        taken_.append(line, 0, count);
        return true;
    }
    if (head_end_taken_) return false;  // nothing of the head is left to take
    char peeked[kPeekSize];
    ssize_t n = 0;
    for (;;) {
        n = ::recv(fd_, peeked, sizeof peeked, MSG_PEEK);
        if (n > 0) break;
        if (n == 0) return false;  // closed
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (brellix_socket_wait(fd_, 1, wait_us_) != kSocketDone) return false;
    }
    // Only called when taken_ holds no whole line: all of it is the start of the next one.
    const std::size_t want =
        head_part(peeked, static_cast<std::size_t>(n), taken_, head_end_taken_);
    std::size_t got = 0;
    while (got < want) {  // the bytes are queued: this does not wait
        const ssize_t r = ::recv(fd_, peeked + got, want - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    taken_.append(peeked, want);
    return true;
}

bool HeadReader::read_line(std::string& line) {
    for (;;) {
        const std::size_t end = taken_.find('\n');
        if (end != std::string::npos && end < kProxyLineSize) {
            line.assign(taken_, 0, end + 1);
            taken_.erase(0, end + 1);
            return true;
        }
        if (end != std::string::npos || taken_.size() >= kProxyLineSize) return false;
        if (!take_more()) return false;
    }
}

}  // namespace zk
