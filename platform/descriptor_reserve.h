#pragma once
// One spare descriptor (an open /dev/null) kept for the moment every other one is in use: a
// listener gives it up to accept a pending client and close it at once, so the client is told
// instead of being left hanging, and the exit path gives it up so saving the configuration still
// finds a descriptor.
//
// Threading: every function may be called from any thread; one lock guards the spare.

#include <functional>

namespace zk {

// Opens the spare unless it is held or has been given up for the exit. True when it is held.
bool hold_descriptor_reserve();

// Closes the spare, runs `use` (which may take the freed descriptor and must give it back),
// then opens the spare again. Runs `use` even when no spare was held.
void with_descriptor_reserve_released(const std::function<void()>& use);

// Closes the spare for good, just before the exit path saves the configuration.
void release_descriptor_reserve();

}  // namespace zk
