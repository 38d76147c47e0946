#pragma once
// What the desktop windows know about the running program besides the model.

#include <optional>
#include <string>

#include "ui/desktop_options.h"
#include "ui/desktop_timings.h"
#include "upnp/upnp_nat.h"

namespace zk {

class WebSwitch;

struct DesktopSetup {
    std::string executable;           // this program's path, for the autostart entry
    std::optional<std::string> home;  // --home as given, passed on to autostart and the service
    std::string daemon_path;          // zelkorad beside this program, for the service
    DesktopTimings timings;
    // The desktop's web server, for its settings dialog; outlives the windows.
    WebSwitch* web = nullptr;
    // The router window's search (--gateway-search aims it at one address).
    UpnpOptions upnp;
    // --port-tester-host: the host of the page the port tester opens.
    std::string port_tester_host = kDefaultPortTesterHost;
};

}  // namespace zk
