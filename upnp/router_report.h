#pragma once
// The router management command without any toolkit: finds the gateway, reads its description
// and its port-mapping table, and asks for its external address. The caller shows the result
// (a message box, the daemon's output, a web page).
//
// Threading: blocks the calling thread for seconds (one-second pauses, the gateway's replies);
// run it where that is acceptable. Shares nothing between calls.

#include <optional>
#include <string>
#include <vector>

#include "upnp/upnp_nat.h"

namespace zk {

struct RouterReport {
    // One of the command's four failure messages; none on success.
    std::optional<std::string> failure;
    // The client's reason for the failure, for a debug log; the user sees `failure`.
    std::string detail;
    // Empty when the gateway would not tell its address.
    std::string external_address;
    // One per mapping: external port "/" protocol "[" description "]-->" client ":" port.
    std::vector<std::string> lines;
    std::vector<RouterPortMapping> entries;
};

// The command runs with UpnpOptions::tries = 10 unless the caller asks otherwise.
RouterReport run_router_command(const UpnpOptions& options = {});

// The report as printed text: the failure message, or the address alone on the first line (a
// line saying it is unknown when the gateway did not give it) and one line per mapping after it,
// each line ending in "\n". The gateway's texts are shown with their control characters
// replaced, so a hostile gateway cannot send escape sequences to the terminal.
std::string format_router_report(const RouterReport& report);

}  // namespace zk
