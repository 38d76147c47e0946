#pragma once
// The user's configuration folder and how a file there is written, shared by the autostart
// entry and the systemd user unit.
//
// Threading: any thread; the functions read the environment, so none may change it meanwhile.

#include <optional>
#include <string>

namespace zk {

// $XDG_CONFIG_HOME when it is set and absolute, else $HOME/.config (the account's home folder
// when HOME is unset). No trailing '/'.
std::string xdg_config_home();

// Replaces `path` with `text` through `path`.tmp and a rename, so a reader never sees half a
// file; creates the missing folders. The file is mode 0644. Returns why it failed, or nothing.
std::optional<std::string> write_public_file(const std::string& path, const std::string& text);

}  // namespace zk
