#pragma once
// One port-triggering entry and the table of them, as stored in config.xml.

#include <vector>

#include "core/fixed_text.h"

namespace zk {

struct PortTrigger {
    FixedText<255> name;
    FixedText<20> status;  // run-time only: "running" or "stop"
    FixedText<5> auto_start;
    FixedText<255> protocol;  // holds "TCP", "UDP" or both
    FixedText<1024> trigger_address;
    FixedText<10> trigger_port;
    FixedText<10> trigger_port_end;
    FixedText<10> frequence;  // pause between passes, milliseconds

    bool operator==(const PortTrigger&) const = default;
};

using TriggerTable = std::vector<PortTrigger>;

}  // namespace zk
