// The checks a trigger entry passes before an editor or a model command accepts it.

#include <gtest/gtest.h>

#include "core/validation.h"

namespace zk {
namespace {

PortTrigger valid_trigger() {
    PortTrigger t;
    t.name = "new";
    t.auto_start = "N";
    t.protocol = "UDP";
    t.trigger_address = "127.0.0.1";
    t.trigger_port = "6000";
    t.trigger_port_end = "6002";
    t.frequence = "1000";
    return t;
}

struct TriggerCase {
    const char* label;
    void (*edit)(PortTrigger&);
    const char* editing;  // the entry being changed; "" for a new one
    const char* message;  // nullptr: accepted
};

TEST(TriggerValidation, ChecksRunInOrder) {
    const TriggerCase cases[] = {
        {"valid", [](PortTrigger&) {}, "", nullptr},
        {"empty name", [](PortTrigger& t) { t.name = ""; }, "",
         "invalid trigger name, please reenter again!"},
        {"line break in name", [](PortTrigger& t) { t.name = "a\nb"; }, "",
         "invalid trigger name, please reenter again!"},
        {"empty name before bad port",
         [](PortTrigger& t) {
             t.name = "";
             t.trigger_port = "0";
         },
         "", "invalid trigger name, please reenter again!"},
        {"name taken on add", [](PortTrigger& t) { t.name = "taken"; }, "",
         "port trigger name already exists, please reenter again!"},
        {"renamed onto another entry", [](PortTrigger& t) { t.name = "taken"; }, "mine",
         "port trigger name already exists, please reenter again!"},
        {"edit keeping its name", [](PortTrigger& t) { t.name = "taken"; }, "taken", nullptr},
        {"renamed to a free name", [](PortTrigger&) {}, "mine", nullptr},
        {"name differing in case", [](PortTrigger& t) { t.name = "Taken"; }, "", nullptr},
        {"protocol TCP", [](PortTrigger& t) { t.protocol = "TCP"; }, "", nullptr},
        {"protocol both", [](PortTrigger& t) { t.protocol = "TCP,UDP"; }, "", nullptr},
        {"protocol empty", [](PortTrigger& t) { t.protocol = ""; }, "",
         "invalid trigger protocol, please choose TCP, UDP or both!"},
        {"protocol other", [](PortTrigger& t) { t.protocol = "ICMP"; }, "",
         "invalid trigger protocol, please choose TCP, UDP or both!"},
        {"empty address", [](PortTrigger& t) { t.trigger_address = ""; }, "",
         "invalid trigger address, please reenter again!"},
        {"three numbers", [](PortTrigger& t) { t.trigger_address = "127.0.1"; }, "",
         "invalid trigger address, please reenter again!"},
        {"number past 255", [](PortTrigger& t) { t.trigger_address = "127.0.0.256"; }, "",
         "invalid trigger address, please reenter again!"},
        {"five numbers", [](PortTrigger& t) { t.trigger_address = "1.2.3.4.5"; }, "",
         "invalid trigger address, please reenter again!"},
        {"trailing dot", [](PortTrigger& t) { t.trigger_address = "1.2.3.4."; }, "",
         "invalid trigger address, please reenter again!"},
        {"digits then letters", [](PortTrigger& t) { t.trigger_address = "1host"; }, "",
         "invalid trigger address, please reenter again!"},
        {"host that resolves", [](PortTrigger& t) { t.trigger_address = "known.test"; }, "",
         nullptr},
        {"host that does not resolve", [](PortTrigger& t) { t.trigger_address = "unknown.test"; },
         "", "cannot resolve trigger address unknown.test, please reenter again!"},
        {"port 0", [](PortTrigger& t) { t.trigger_port = "0"; }, "",
         "invalid trigger port, please reenter again!"},
        {"port text", [](PortTrigger& t) { t.trigger_port = "x"; }, "",
         "invalid trigger port, please reenter again!"},
        {"end 65536", [](PortTrigger& t) { t.trigger_port_end = "65536"; }, "",
         "invalid end range of trigger port, please reenter again!"},
        {"empty end", [](PortTrigger& t) { t.trigger_port_end = ""; }, "",
         "invalid end range of trigger port, please reenter again!"},
        {"end before start", [](PortTrigger& t) { t.trigger_port_end = "5999"; }, "",
         "the end range of trigger port must not be smaller than the start range of trigger "
         "port, please reenter again!"},
        {"single port", [](PortTrigger& t) { t.trigger_port_end = "6000"; }, "", nullptr},
        {"1024 ports",
         [](PortTrigger& t) {
             t.trigger_port = "1";
             t.trigger_port_end = "1024";
         },
         "", nullptr},
        {"1025 ports",
         [](PortTrigger& t) {
             t.trigger_port = "1";
             t.trigger_port_end = "1025";
         },
         "", "a port trigger spans at most 1024 ports, please reenter again!"},
        {"period 999", [](PortTrigger& t) { t.frequence = "999"; }, "",
         "the trigger period must be at least 1000 ms, please reenter again!"},
        {"period 0", [](PortTrigger& t) { t.frequence = "0"; }, "",
         "the trigger period must be at least 1000 ms, please reenter again!"},
        {"period text", [](PortTrigger& t) { t.frequence = "1s"; }, "",
         "the trigger period must be at least 1000 ms, please reenter again!"},
        {"period empty", [](PortTrigger& t) { t.frequence = ""; }, "",
         "the trigger period must be at least 1000 ms, please reenter again!"},
        {"period of nine digits", [](PortTrigger& t) { t.frequence = "999999999"; }, "", nullptr},
        {"bad period before the look-up",
         [](PortTrigger& t) {
             t.trigger_address = "unknown.test";
             t.frequence = "0";
         },
         "", "the trigger period must be at least 1000 ms, please reenter again!"},
    };
    TriggerTable table(2);
    table[0].name = "taken";
    table[1].name = "mine";
    int lookups = 0;
    const AddressCheck resolves = [&](const std::string& host) {
        ++lookups;
        return host == "known.test";
    };
    for (const TriggerCase& c : cases) {
        PortTrigger t = valid_trigger();
        c.edit(t);
        const auto message = validate_trigger(t, table, c.editing, resolves);
        if (c.message == nullptr) {
            EXPECT_FALSE(message.has_value()) << c.label << ": " << message.value_or("");
        } else {
            EXPECT_EQ(message.value_or("(accepted)"), c.message) << c.label;
        }
    }
    EXPECT_EQ(lookups, 2) << "only the two host names that passed every other check";
}

// A model command has no look-up at hand: a host name passes, the engine resolves it at start.
TEST(TriggerValidation, HostNamePassesWithoutALookUp) {
    PortTrigger t = valid_trigger();
    t.trigger_address = "unknown.test";
    EXPECT_FALSE(validate_trigger(t, {}, "").has_value());
}

}  // namespace
}  // namespace zk
