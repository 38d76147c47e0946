#pragma once
// Starting with the desktop session: an XDG autostart entry, zelkora.desktop, in the user's
// autostart folder. Also the small pieces the systemd unit shares with it: where the user's
// configuration lives and how a file there is replaced.
//
// Threading: any thread; the functions read the environment, so none may change it meanwhile.

#include <optional>
#include <string>

namespace zk {

// $XDG_CONFIG_HOME when it is set and absolute, else $HOME/.config (the account's home folder
// when HOME is unset). No trailing '/'.
std::string xdg_config_home();

// Where the entry lives: xdg_config_home()/autostart/zelkora.desktop.
std::string autostart_entry_path();

// The entry's text. Exec holds the quoted `executable`, then --home and the quoted `home` when
// given. Neither may hold control characters (set_autostart refuses those).
std::string autostart_entry(const std::string& executable, const std::optional<std::string>& home);

// On: writes the entry (folders created, mode 0644, replaced atomically). Off: removes it; a
// missing entry is fine. Returns why it failed, for the event log, or nothing.
std::optional<std::string> set_autostart(bool on, const std::string& executable,
                                         const std::optional<std::string>& home);

// Replaces `path` with `text` through `path`.tmp and a rename, so a reader never sees half a
// file; creates the missing folders. The file is mode 0644. Returns why it failed, or nothing.
std::optional<std::string> write_public_file(const std::string& path, const std::string& text);

}  // namespace zk
