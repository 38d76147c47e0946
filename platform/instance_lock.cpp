#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace zk {

InstanceLock::InstanceLock(const std::string& program_dir) {
    const std::string path = program_dir + ".zelkora.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

}  // namespace zk
