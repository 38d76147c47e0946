#pragma once
// Starting with the desktop session: an XDG autostart entry, zelkora.desktop, in the user's
// autostart folder.
//
// Threading: any thread; the functions read the environment, so none may change it meanwhile.

#include <optional>
#include <string>

namespace zk {

// Where the entry lives: xdg_config_home()/autostart/zelkora.desktop.
std::string autostart_entry_path();

// The entry's text. Exec holds the quoted `executable`, then --home and the quoted `home` when
// given. Neither may hold control characters (set_autostart refuses those).
std::string autostart_entry(const std::string& executable, const std::optional<std::string>& home);

// On: writes the entry (folders created, mode 0644, replaced atomically). Off: removes it; a
// missing entry is fine. Returns why it failed, for the event log, or nothing.
std::optional<std::string> set_autostart(bool on, const std::string& executable,
                                         const std::optional<std::string>& home);

}  // namespace zk
