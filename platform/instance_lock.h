#pragma once
// One running copy per program directory: two copies would each write config.xml at exit and
// the later would silently undo the other's changes.

#include <string>

namespace zk {

class InstanceLock {
public:
    // Tries to take the lock file ".zelkora.lock" in `program_dir` without waiting.
    explicit InstanceLock(const std::string& program_dir);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock.
    bool held() const { return fd_ >= 0; }
    // Why it is not held: EWOULDBLOCK when another process holds it, else the errno of opening
    // the lock file (a missing or unwritable directory). 0 while held.
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace zk
