#include "web/login_throttle.h"

#include <algorithm>

namespace zk {

std::int64_t LoginThrottle::wait_seconds(std::uint32_t address) const {
    const std::int64_t now = clock_();
    std::lock_guard guard(lock_);
    const auto it = entries_.find(address);
    if (it == entries_.end()) return 0;
    return std::max<std::int64_t>(0, it->second.blocked_until - now);
}

void LoginThrottle::failed(std::uint32_t address) {
    const std::int64_t now = clock_();
    std::lock_guard guard(lock_);
    if (entries_.find(address) == entries_.end()) make_room(now);
    Entry& e = entries_[address];
    if (now - e.last_failure >= kForgetSeconds) e = Entry{};
    ++e.failures;
    e.last_failure = now;
    if (e.failures <= kFreeFailures) return;
    const int doublings = std::min(e.failures - kFreeFailures - 1, 20);
    e.blocked_until = now + std::min<std::int64_t>(kLongestWait, std::int64_t{1} << doublings);
}

void LoginThrottle::succeeded(std::uint32_t address) {
    std::lock_guard guard(lock_);
    entries_.erase(address);
}

std::size_t LoginThrottle::size() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

void LoginThrottle::make_room(std::int64_t now) {
    if (entries_.size() < capacity_) return;
    std::erase_if(entries_, [now](const auto& item) {
        return now - item.second.last_failure >= kForgetSeconds;
    });
    if (entries_.size() < capacity_) return;
    const auto oldest = std::min_element(
        entries_.begin(), entries_.end(),
        [](const auto& a, const auto& b) { return a.second.last_failure < b.second.last_failure; });
    entries_.erase(oldest);
}

}  // namespace zk
