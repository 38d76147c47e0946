#include "web/connection_table.h"

#include <sys/socket.h>

#include "engine/brellix_socket.h"

namespace zk {

bool ConnectionTable::admit(int sock) {
    std::lock_guard guard(lock_);
    std::size_t live = 0;
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.cut) continue;
        ++live;
        if (it->second.reading &&
            (oldest == entries_.end() || it->second.order < oldest->second.order)) {
            oldest = it;
        }
    }
    if (live >= limit_) {
        if (oldest == entries_.end() || entries_.size() >= limit_ + kWebCutSlack) return false;
        // Its thread wakes from its wait, fails the read and finishes the entry.
        ::shutdown(oldest->first, SHUT_RDWR);
        oldest->second.cut = true;
    }
    entries_[sock] = Entry{next_order_++, true, false};
    return true;
}

void ConnectionTable::request_read(int sock) {
    std::lock_guard guard(lock_);
    if (const auto it = entries_.find(sock); it != entries_.end()) it->second.reading = false;
}

void ConnectionTable::finish(int sock) {
    std::lock_guard guard(lock_);
    entries_.erase(sock);
    // Closed under the lock, so no shutdown above can reach a reused number.
    brellix_socket_close(sock);
    if (entries_.empty()) all_done_.notify_all();
}

void ConnectionTable::shut_down_all(std::chrono::milliseconds limit) {
    std::unique_lock guard(lock_);
    for (const auto& [sock, entry] : entries_)
        ::shutdown(sock, SHUT_RDWR);
    all_done_.wait_for(guard, limit, [this] { return entries_.empty(); });
}

std::size_t ConnectionTable::size() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

}  // namespace zk
