#pragma once
// The rule of the router command's control message (number 10061): whether a request with
// these two parameters runs the router management command, and what it answers. The desktop
// has no window messages; this is what a local control channel calls when it takes the request,
// so the rule stays the same whichever channel carries it.

#include <cstdint>

namespace zk {

inline constexpr unsigned kRouterMessage = 10061;

struct RouterMessageOutcome {
    int result = 0;            // the answer to the sender
    bool run_command = false;  // whether the router management command runs
};

// A zero `lparam` is refused (0); any other is accepted (1) and runs the command only when
// `wparam` is 1.
RouterMessageOutcome router_message(std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace zk
