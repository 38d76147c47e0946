#include "engine/traffic.h"

#include <atomic>
#include <cstdint>

namespace zk {
namespace {

// Relaxed is enough: each counter only grows, readers sample it for rates and change, and no
// other memory is published through it. A reader may see one direction's chunk a moment before
// the other's, which a chart sampled once a second cannot tell from timing. The total is the sum
// of the two, so within a snapshot the three always agree.
std::atomic<std::uint64_t> incoming_bytes{0};
std::atomic<std::uint64_t> outgoing_bytes{0};

}  // namespace

void traffic_add_incoming(std::size_t bytes) {
    incoming_bytes.fetch_add(bytes, std::memory_order_relaxed);
}

void traffic_add_outgoing(std::size_t bytes) {
    outgoing_bytes.fetch_add(bytes, std::memory_order_relaxed);
}

TrafficTotals traffic_snapshot() {
    TrafficTotals totals;
    totals.incoming = static_cast<double>(incoming_bytes.load(std::memory_order_relaxed));
    totals.outgoing = static_cast<double>(outgoing_bytes.load(std::memory_order_relaxed));
    totals.total = totals.incoming + totals.outgoing;
    totals.activity = totals.total;
    return totals;
}

}  // namespace zk
