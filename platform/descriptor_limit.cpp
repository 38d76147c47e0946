#include "platform/descriptor_limit.h"

#include <sys/resource.h>

#include <fstream>

namespace zk {
namespace {

// The kernel refuses a soft limit above fs.nr_open, whatever the hard limit says.
rlim_t kernel_maximum() {
    std::ifstream file("/proc/sys/fs/nr_open");
    rlim_t value = 0;
    if (file >> value && value > 0) return value;
    return 1024 * 1024;  // the kernel's default for nr_open
}

}  // namespace

std::optional<DescriptorLimit> raise_descriptor_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::nullopt;
    const rlim_t target = limit.rlim_max == RLIM_INFINITY ? kernel_maximum() : limit.rlim_max;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur < target) {
        rlimit raised = limit;
        raised.rlim_cur = target;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return DescriptorLimit{static_cast<std::uint64_t>(limit.rlim_cur),
                           static_cast<std::uint64_t>(limit.rlim_max)};
}

}  // namespace zk
