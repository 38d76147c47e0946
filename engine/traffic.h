#pragma once
// Process-wide running totals of relayed bytes, read by the charts, the floating window and the
// tray animation. Never reset while the program runs.
//
// Threading: any thread, no lock. Each relayed chunk adds to one relaxed atomic counter, so the
// relays never wait for each other or for a reader.

#include <cstddef>

namespace zk {

struct TrafficTotals {
    double total = 0;     // every relayed byte, both directions, TCP and UDP
    double incoming = 0;  // destinations to clients
    double outgoing = 0;  // clients to destinations
    double activity = 0;  // like total; watched for change only
};

void traffic_add_incoming(std::size_t bytes);
void traffic_add_outgoing(std::size_t bytes);

// The totals as they stand. Always total == incoming + outgoing; a chunk being counted while the
// snapshot is taken shows up in this one or the next.
TrafficTotals traffic_snapshot();

}  // namespace zk
