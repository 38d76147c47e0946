#pragma once
// Process-wide running totals of relayed bytes, read by the charts, the floating window and the
// tray animation. Never reset while the program runs.
//
// Threading: any thread; `traffic_lock` (internal) guards the four members, and nothing else
// is locked while it is held.

namespace zk {

struct TrafficTotals {
    double total = 0;     // every relayed byte, both directions, TCP and UDP
    double incoming = 0;  // destinations to clients
    double outgoing = 0;  // clients to destinations
    double activity = 0;  // like total; watched for change only
};

void traffic_add_incoming(double bytes);
void traffic_add_outgoing(double bytes);
TrafficTotals traffic_snapshot();

}  // namespace zk
