#pragma once
// Relays both directions of a session whose two sides are plain sockets, on one thread: it waits
// on both sockets at once and writes without blocking, so a connection costs one thread and a
// message one wake-up. Bytes read from a side are written whole before that side is read again,
// so a slow reader holds its sender back instead of filling memory.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zk {

struct PlainFlow {
    int from = 0;
    int to = 0;
    std::function<void(std::size_t)> count;  // bytes read from `from`
    // Each chunk once written whole; null when nobody looks at the bytes, which lets them move
    // between the sockets inside the kernel.
    std::function<void(const char*, std::size_t)> dump;
};

// Runs until either side closes or fails, or a write makes no progress for `write_wait_us`
// (the stream could not go on without a hole). What a side sent before it closed or reset still
// reaches the other side first. The sockets are left open and non-blocking; a
// shutdown() of either by another thread ends the relay.
void relay_plain(PlainFlow& client_to_destination, PlainFlow& destination_to_client,
                 std::size_t dump_chunk, std::int64_t write_wait_us);

}  // namespace zk
