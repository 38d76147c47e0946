#include "engine/traffic.h"

#include <mutex>

namespace zk {
namespace {
std::mutex traffic_lock;
TrafficTotals totals;  // guarded by traffic_lock
}  // namespace

void traffic_add_incoming(double bytes) {
    std::lock_guard guard(traffic_lock);
    totals.activity += bytes;
    totals.total += bytes;
    totals.incoming += bytes;
}

void traffic_add_outgoing(double bytes) {
    std::lock_guard guard(traffic_lock);
    totals.activity += bytes;
    totals.total += bytes;
    totals.outgoing += bytes;
}

TrafficTotals traffic_snapshot() {
    std::lock_guard guard(traffic_lock);
    return totals;
}

}  // namespace zk
