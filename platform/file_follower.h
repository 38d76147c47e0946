#pragma once
// Follows a growing text file, as `tail -f` does: the log viewer polls it from a timer.
//
// Threading: one thread at a time; no threads of its own.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace zk {

class FileFollower {
public:
    // At most this much text comes back from one call: a flood of log lines cannot take the
    // window's memory. The rest comes with the next calls.
    static constexpr std::size_t kMaxRead = std::size_t{1} << 20;

    explicit FileFollower(std::string path, std::size_t last_lines = 100);

    // The first call gives the file's last `last_lines` lines (no more than kMaxRead before its
    // end); later calls what was appended since. A file cut shorter or replaced at the path is
    // read again from its beginning; a missing one gives "" until it appears, then is read from
    // its beginning.
    std::string read_new();

private:
    // Where the last `last_lines_` lines of the open file `fd` of `size` bytes begin.
    off_t start_of_last_lines(int fd, off_t size) const;

    std::string path_;
    std::size_t last_lines_;
    bool started_ = false;  // the first call has been made
    bool known_ = false;    // device_ and inode_ name the file read so far
    dev_t device_ = 0;
    ino_t inode_ = 0;
    off_t offset_ = 0;  // how much of that file has been returned
};

}  // namespace zk
