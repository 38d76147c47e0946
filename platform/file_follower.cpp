#include "platform/file_follower.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace zk {
namespace {

constexpr off_t kBlock = 64 * 1024;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads up to `count` bytes at `offset`; fewer at the file's end or on an error.
std::string read_at(int fd, off_t offset, std::size_t count) {
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, out.data() + done, count - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

}  // namespace

FileFollower::FileFollower(std::string path, std::size_t last_lines)
    : path_(std::move(path)), last_lines_(last_lines) {}

std::string FileFollower::read_new() {
    const bool first = !started_;
    started_ = true;
    const Descriptor file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return "";
    }
    if (known_ && (status.st_dev != device_ || status.st_ino != inode_)) offset_ = 0;  // rotated
    known_ = true;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    if (status.st_size < offset_) offset_ = 0;  // truncated
    if (first) offset_ = start_of_last_lines(file.get(), status.st_size);

    std::string text = read_at(file.get(), offset_, kMaxRead);
    offset_ += off_t(text.size());
    return text;
}

off_t FileFollower::start_of_last_lines(int fd, off_t size) const {
    if (last_lines_ == 0) return size;
    const off_t floor = std::max<off_t>(0, size - off_t(kMaxRead));
    // The file's last byte ends the last line when it is a newline; it begins no new one.
    off_t end = size;
    if (end > floor && read_at(fd, end - 1, 1) == "\n") --end;
    std::size_t newlines = 0;
    while (end > floor) {
        const off_t begin = std::max(floor, end - kBlock);
        const std::string block = read_at(fd, begin, std::size_t(end - begin));
        if (block.size() != std::size_t(end - begin)) return floor;  // cut while we read
        for (std::size_t i = block.size(); i-- > 0;) {
            if (block[i] == '\n' && ++newlines == last_lines_) return begin + off_t(i) + 1;
        }
        end = begin;
    }
    return floor;
}

}  // namespace zk
