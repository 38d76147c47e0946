#include "platform/descriptor_reserve.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

namespace zk {
namespace {

struct Reserve {
    std::mutex lock;
    int fd = -1;           // guarded by lock
    bool retired = false;  // guarded by lock; set on the exit path
};

Reserve& reserve() {
    static auto* r = new Reserve;  // never destroyed: threads may outlive main
    return *r;
}

// With the lock held.
void open_spare(Reserve& r) {
    if (r.fd < 0 && !r.retired) r.fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void close_spare(Reserve& r) {
    if (r.fd >= 0) ::close(r.fd);
    r.fd = -1;
}

}  // namespace

bool hold_descriptor_reserve() {
    Reserve& r = reserve();
    std::lock_guard guard(r.lock);
    open_spare(r);
    return r.fd >= 0;
}

void with_descriptor_reserve_released(const std::function<void()>& use) {
    Reserve& r = reserve();
    std::lock_guard guard(r.lock);
    close_spare(r);
    use();
    open_spare(r);
}

void release_descriptor_reserve() {
    Reserve& r = reserve();
    std::lock_guard guard(r.lock);
    close_spare(r);
    r.retired = true;
}

}  // namespace zk
