#pragma once
// What the desktop windows know about the running program besides the model.

#include <optional>
#include <string>

#include "ui/desktop_timings.h"

namespace zk {

class WebSwitch;

struct DesktopSetup {
    std::string executable;           // this program's path, for the autostart entry
    std::optional<std::string> home;  // --home as given, passed on to autostart and the service
    std::string daemon_path;          // zelkorad beside this program, for the service
    DesktopTimings timings;
    // The desktop's web server, for its settings dialog; outlives the windows.
    WebSwitch* web = nullptr;
};

}  // namespace zk
