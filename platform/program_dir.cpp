#include "platform/program_dir.h"

#include <unistd.h>

#include <array>
#include <cstdlib>

namespace zk {
namespace {
std::string with_slash(std::string path) {
    if (path.empty()) return "./";
    if (path.back() != '/') path.push_back('/');
    return path;
}
}  // namespace

std::string executable_directory() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return "./";
    std::string path(buffer.data(), static_cast<std::size_t>(n));
    return with_slash(path.substr(0, path.rfind('/') + 1));
}

std::string program_directory(const std::optional<std::string>& home) {
    if (home && !home->empty()) return with_slash(*home);
    if (const char* env = std::getenv("ZELKORA_HOME"); env != nullptr && *env != '\0') {
        return with_slash(env);
    }
    return executable_directory();
}

}  // namespace zk
