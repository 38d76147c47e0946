#pragma once
// Polls a condition instead of sleeping a fixed time.

#include <chrono>
#include <thread>

namespace zk::test {

// Polls `predicate` until it holds or `limit` passes; returns its last value.
template <typename Predicate>
bool wait_for(Predicate predicate, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace zk::test
