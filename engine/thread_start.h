#pragma once
// Detached threads with small stacks for listeners and sessions: a relay needs little stack, and
// thousands of sessions must not cost megabytes each. A thread that finishes its work waits a
// while for the next one before it exits, so a busy mapping does not pay for creating two
// threads per connection.

#include <cstddef>
#include <functional>

namespace zk {

inline constexpr std::size_t kSessionStackSize = 256 * 1024;

// How the engine gets its threads: start_detached_thread unless a test injects a starter that
// fails, to check that a start without a thread is handled like any other failed start.
using ThreadStarter = std::function<bool(std::function<void()>)>;

// Runs `body` on a waiting thread, or on a new detached one. False when no thread could be had
// (then `body` never runs); callers handle that like any failed start.
bool start_detached_thread(std::function<void()> body);

}  // namespace zk
