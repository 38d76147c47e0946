#include "platform/service_unit.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/validation.h"
#include "platform/user_config.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

std::string unit_path(const ServicePlace& place) {
    return place.unit_dir + "/" + kServiceUnitName;
}

// One word of an ExecStart line as systemd splits it: double quotes, with '"' and '\'
// backslash-escaped; '%' would begin a specifier and '$' a variable.
std::string unit_argument(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '%') {
            quoted += "%%";
        } else if (c == '$') {
            quoted += "$$";
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

bool systemctl_on_path() {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest = path;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty()) {
            const std::string candidate = std::string(dir) + "/systemctl";
            if (::access(candidate.c_str(), X_OK) == 0) return true;
        }
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

// Runs systemctl with `words` for this place's manager; the failure's text, or nothing.
std::optional<std::string> systemctl(const ServicePlace& place, std::vector<std::string> words,
                                     ProcessRunner& processes) {
    std::vector<std::string> argv{"systemctl"};
    if (!place.system) argv.emplace_back("--user");
    argv.insert(argv.end(), words.begin(), words.end());
    const int status = processes.run(argv);
    if (status == 0) return std::nullopt;
    std::string line;
    for (const std::string& word : argv)
        line += (line.empty() ? "" : " ") + word;
    if (status < 0) return line + " could not run";
    return line + " failed with exit status " + std::to_string(status);
}

}  // namespace

ServicePlace service_place() {
    if (::geteuid() == 0) return {true, "/etc/systemd/system"};
    return {false, xdg_config_home() + "/systemd/user"};
}

std::string service_unit(const std::string& daemon_path, const std::string& program_dir,
                         bool system) {
    std::string text =
        "[Unit]\n"
        "Description=Zelkora port forwarding\n";
    if (system) {
        text +=
            "After=network-online.target\n"
            "Wants=network-online.target\n";
    }
    text += "\n[Service]\nType=simple\nExecStart=" + unit_argument(daemon_path) + " --home " +
            unit_argument(program_dir) +
            "\n"
            "Restart=on-failure\n"
            "\n[Install]\n"
            "WantedBy=" +
            (system ? "multi-user.target" : "default.target") + "\n";
    return text;
}

std::optional<std::string> install_service(const ServicePlace& place,
                                           const std::string& daemon_path,
                                           const std::string& program_dir,
                                           ProcessRunner& processes) {
    if (has_control_character(daemon_path) || has_control_character(program_dir)) {
        return "cannot install the service: its paths hold control characters";
    }
    const std::string path = unit_path(place);
    if (auto failure =
            write_public_file(path, service_unit(daemon_path, program_dir, place.system))) {
        return "cannot install the service: " + *failure;
    }
    if (!systemctl_on_path()) return path + " written; systemctl is not there to enable it";
    if (auto failure = systemctl(place, {"daemon-reload"}, processes)) return failure;
    return systemctl(place, {"enable", kServiceUnitName}, processes);
}

std::optional<std::string> uninstall_service(const ServicePlace& place, ProcessRunner& processes) {
    const std::string path = unit_path(place);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return std::nullopt;
    const bool manager = systemctl_on_path();
    // Disabled before the file goes: systemctl needs the file to find the links it made.
    std::optional<std::string> failure;
    if (manager) failure = systemctl(place, {"disable", kServiceUnitName}, processes);
    fs::remove(path, error);
    if (error) return "cannot remove " + path + ": " + error.message();
    if (manager) {
        auto reload = systemctl(place, {"daemon-reload"}, processes);
        if (!failure) failure = reload;
    }
    return failure;
}

}  // namespace zk
