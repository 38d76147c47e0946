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

private:
    int fd_ = -1;
};

}  // namespace zk
