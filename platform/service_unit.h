#pragma once
// The companion service: a systemd unit, zelkorad.service, that runs the headless program on
// this program directory. Installed as a system unit when we run as root, else as a unit of
// the user's own service manager.
//
// Threading: any thread; systemctl runs through the given ProcessRunner and is waited for.

#include <optional>
#include <string>

#include "platform/process_runner.h"

namespace zk {

inline constexpr const char* kServiceUnitName = "zelkorad.service";

struct ServicePlace {
    bool system;           // a system unit (systemctl without --user)
    std::string unit_dir;  // the folder the unit file goes to, without a trailing '/'
};

// /etc/systemd/system when the effective user is root, else xdg_config_home()/systemd/user.
ServicePlace service_place();

// The unit's text: runs `daemon_path` --home `program_dir`, restarted when it fails. A system
// unit waits for the network to be up. Paths without control characters.
std::string service_unit(const std::string& daemon_path, const std::string& program_dir,
                         bool system);

// Writes the unit (folders created, mode 0644, replaced atomically), then, when systemctl is on
// PATH, reloads the manager and enables the unit for the next boot or login. It is not started
// now: the desktop program holds the program directory while it runs. Returns what failed, for
// the event log, or nothing.
std::optional<std::string> install_service(const ServicePlace& place,
                                           const std::string& daemon_path,
                                           const std::string& program_dir,
                                           ProcessRunner& processes);

// Disables the unit, removes its file and reloads the manager. A unit that is not there is
// nothing to do. Returns what failed, for the event log, or nothing.
std::optional<std::string> uninstall_service(const ServicePlace& place, ProcessRunner& processes);

}  // namespace zk
