#pragma once
// Failed logins per IPv4 address, so credentials cannot be guessed at network speed. After
// kFreeFailures failures an address waits before its credentials are looked at again: 1 second
// after the next failure, doubling with each further one up to kLongestWait. An address that
// has not failed for kForgetSeconds starts afresh. The table is bounded: when it is full, the
// entry whose last failure is oldest makes room.
//
// Threading: every function may be called from any thread; one lock guards the table.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "web/web_sessions.h"

namespace zk {

inline constexpr int kFreeFailures = 5;
inline constexpr std::int64_t kLongestWait = 300;
inline constexpr std::int64_t kForgetSeconds = 900;
inline constexpr std::size_t kThrottleEntries = 4096;

class LoginThrottle {
public:
    explicit LoginThrottle(WebClock clock, std::size_t capacity = kThrottleEntries)
        : clock_(std::move(clock)), capacity_(capacity) {}

    // Seconds `address` must still wait before its next login attempt; 0 when it may try now.
    std::int64_t wait_seconds(std::uint32_t address) const;
    void failed(std::uint32_t address);
    void succeeded(std::uint32_t address);
    std::size_t size() const;

private:
    struct Entry {
        int failures = 0;
        std::int64_t last_failure = 0;
        std::int64_t blocked_until = 0;
    };

    void make_room(std::int64_t now);

    const WebClock clock_;
    const std::size_t capacity_;
    mutable std::mutex lock_;  // guards entries_
    std::unordered_map<std::uint32_t, Entry> entries_;
};

}  // namespace zk
