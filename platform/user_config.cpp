#include "platform/user_config.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/file_replace.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

std::string home_directory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

std::string xdg_config_home() {
    const char* configured = std::getenv("XDG_CONFIG_HOME");
    if (configured != nullptr && configured[0] == '/') return configured;
    std::string home = home_directory();
    if (!home.empty() && home.back() == '/') home.pop_back();
    return home + "/.config";
}

std::optional<std::string> write_public_file(const std::string& path, const std::string& text) {
    std::error_code error;
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, error);
    if (error) return "cannot create " + parent.string() + ": " + error.message();

    if (const int failure = replace_file(path, text, 0644)) {
        return "cannot write " + path + ": " + std::strerror(failure);
    }
    return std::nullopt;
}

}  // namespace zk
