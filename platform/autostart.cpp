#include "platform/autostart.h"

#include <filesystem>
#include <system_error>

#include "core/validation.h"
#include "platform/user_config.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

// One argument of an Exec line: inside double quotes '"', '`', '$' and '\' take a backslash.
std::string exec_argument(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// The Exec value as stored: a string value doubles its backslashes, and '%' would begin a
// field code.
std::string exec_value(const std::string& line) {
    std::string value;
    for (const char c : line) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    return value;
}

}  // namespace

std::string autostart_entry_path() {
    return xdg_config_home() + "/autostart/zelkora.desktop";
}

std::string autostart_entry(const std::string& executable, const std::optional<std::string>& home) {
    std::string command = exec_argument(executable);
    if (home) command += " --home " + exec_argument(*home);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Zelkora\n"
           "Comment=Forwards ports to other hosts\n"
           "Exec=" +
           exec_value(command) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> set_autostart(bool on, const std::string& executable,
                                         const std::optional<std::string>& home) {
    const std::string path = autostart_entry_path();
    if (!on) {
        std::error_code error;
        fs::remove(path, error);
        if (error) return "cannot remove " + path + ": " + error.message();
        return std::nullopt;
    }
    if (has_control_character(executable) || (home && has_control_character(*home))) {
        return "cannot start with the session: the program's path holds control characters";
    }
    return write_public_file(path, autostart_entry(executable, home));
}

}  // namespace zk
