#include "engine/dump_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace zk {
namespace {

constexpr std::size_t kBytesPerLine = 12;
constexpr std::size_t kShortLineHexWidth = 35;  // a full line's is 36: twelve "xx " groups
constexpr char kHexDigits[] = "0123456789abcdef";

char shown_as_character(unsigned char byte) {
    return byte == '\r' || byte == '\n' || byte == '\0' ? '.' : static_cast<char>(byte);
}

void append_line(std::string& out, const unsigned char* bytes, std::size_t count) {
    out += '\t';
    for (std::size_t i = 0; i < count; ++i) {
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 0x0f];
        out += ' ';
    }
    if (count < kBytesPerLine) out.append(kShortLineHexWidth - 3 * count, ' ');
    out += "\t\t\t";
    for (std::size_t i = 0; i < count; ++i)
        out += shown_as_character(bytes[i]);
    out += '\n';
}

}  // namespace

std::string format_dump_block(const LocalTime& time, std::string_view from, std::string_view to,
                              const void* data, std::size_t n) {
    std::string out;
    if (n == 0) return out;
    char stamp[64];
    const int stamp_length = format_stamp(stamp, sizeof stamp, time);
    // About 53 characters per line of twelve bytes, plus the header.
    out.reserve((n / kBytesPerLine + 1) * 53 + from.size() + to.size() + 64);
    if (stamp_length > 0) out.append(stamp, std::min<std::size_t>(stamp_length, sizeof stamp - 1));
    out += ":[";
    out += from;
    out += "]=====================>[";
    out += to;
    out += "]\n";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t start = 0; start < n; start += kBytesPerLine) {
        append_line(out, bytes + start, std::min(kBytesPerLine, n - start));
    }
    return out;
}

DumpStream::DumpStream(LocalClock clock) : clock_(std::move(clock)) {}

DumpStream::~DumpStream() {
    close();
}

bool DumpStream::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
}

bool DumpStream::is_open() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

void DumpStream::close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DumpStream::write_block(std::string_view from, std::string_view to, const void* data,
                             std::size_t n) {
    if (n == 0 || !is_open()) return;
    // Formatting is the costly part and needs no lock.
    const std::string block = format_dump_block(clock_(), from, to, data, n);
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (fd_ >= 0 && done < block.size()) {
        const ssize_t wrote = ::write(fd_, block.data() + done, block.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;  // a full disk loses the rest of the block, as any write error
        done += static_cast<std::size_t>(wrote);
    }
}

void write_dump_block(DumpStream* stream, std::string_view from, std::string_view to,
                      const void* data, std::size_t n) {
    if (stream != nullptr) stream->write_block(from, to, data, n);
}

}  // namespace zk
