#pragma once
// The process's limit on open descriptors. Each relayed TCP session holds two sockets, so the
// usual soft limit of 1024 caps a forwarder at a few hundred sessions long before the hard limit
// does.

#include <cstdint>
#include <optional>

namespace zk {

struct DescriptorLimit {
    std::uint64_t soft = 0;  // in force after the call
    std::uint64_t hard = 0;  // the most the soft limit can be raised to without privileges
};

// Raises the soft RLIMIT_NOFILE to the hard limit (when the hard limit is unlimited, to the
// kernel's per-process maximum). Returns both limits as they stand afterwards; nullopt when they
// cannot be read. Call once at start-up, before threads open descriptors.
std::optional<DescriptorLimit> raise_descriptor_limit();

}  // namespace zk
