#pragma once
// Detached threads with small stacks: a relay needs little stack, and thousands of sessions
// must not cost megabytes each.

#include <cstddef>
#include <functional>

namespace zk {

inline constexpr std::size_t kSessionStackSize = 256 * 1024;

// Starts `body` on a new detached thread. False when the thread cannot be created (then `body`
// never runs); callers handle that like any failed start.
bool start_detached_thread(std::function<void()> body, std::size_t stack_size = kSessionStackSize);

}  // namespace zk
