#pragma once
// The connections a web server is serving, bounded so the web side can never take the
// descriptors and threads the relays need. When the table is full, the connection that has
// waited longest for its request is cut to make room, so clients that trickle their requests
// cannot keep a browser out; only when every slot is busy with a request already read, or too
// many cut connections have not yet ended, is the new connection refused.
//
// Threading: the listener admits, connection threads mark and finish their own sockets, the
// server's owner shuts all down; one lock guards the table.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace zk {

inline constexpr std::size_t kWebConnectionLimit = 64;
// Cut connections still winding down beyond the limit; they end as soon as their thread wakes.
inline constexpr std::size_t kWebCutSlack = 16;

class ConnectionTable {
public:
    explicit ConnectionTable(std::size_t limit) : limit_(limit) {}

    // Takes `sock` in; false when it must be closed at once (the caller closes it).
    bool admit(int sock);
    // The request of `sock` has been read: it is no longer cut for a newcomer.
    void request_read(int sock);
    // Removes and closes `sock`; called once by its connection thread.
    void finish(int sock);
    // Wakes every connection blocked on its socket, then waits up to `limit` for all to finish.
    void shut_down_all(std::chrono::milliseconds limit);
    std::size_t size() const;

private:
    struct Entry {
        std::uint64_t order = 0;  // admission order: lower waited longer
        bool reading = true;
        bool cut = false;
    };

    const std::size_t limit_;
    mutable std::mutex lock_;  // guards entries_ and next_order_
    std::condition_variable all_done_;
    std::map<int, Entry> entries_;
    std::uint64_t next_order_ = 0;
};

}  // namespace zk
