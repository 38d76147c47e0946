#include "platform/program_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/ports_catalogue.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

bool same_directory(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

void copy_private(const fs::path& from, const fs::path& to) {
    std::error_code error;
    if (!fs::copy_file(from, to, fs::copy_options::skip_existing, error)) return;
    ::chmod(to.c_str(), 0600);  // it will hold the web password
}

// Copies the files of `staged_dir``folder`/ when `dir` has no such folder: one the user keeps
// (or deleted on purpose) is left alone.
void copy_folder(const std::string& dir, const std::string& staged_dir, const std::string& folder) {
    std::error_code error;
    const fs::path source = staged_dir + folder;
    if (!fs::is_directory(source, error) || fs::exists(dir + folder, error)) return;
    if (!fs::create_directory(dir + folder, error)) return;
    for (const auto& entry : fs::directory_iterator(source, error)) {
        if (!entry.is_regular_file(error)) continue;
        fs::copy_file(entry.path(), dir + folder + "/" + entry.path().filename().string(), error);
    }
}

// Copies each file of `source` that `target` lacks, making `target` when missing.
void copy_missing_files(const std::string& source, const std::string& target) {
    std::error_code error;
    if (!fs::is_directory(source, error)) return;
    fs::create_directories(target, error);
    for (const auto& entry : fs::directory_iterator(source, error)) {
        if (!entry.is_regular_file(error)) continue;
        fs::copy_file(entry.path(), target + "/" + entry.path().filename().string(),
                      fs::copy_options::skip_existing, error);
    }
}

}  // namespace

std::optional<std::string> prepare_program_directory(const std::string& dir,
                                                     const std::string& staged_dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) return "cannot create the program directory " + dir + ": " + error.message();
    if (!fs::is_directory(dir, error)) return "the program directory " + dir + " is no directory";
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        return "the program directory " + dir + " is not writable: " + std::strerror(errno);
    }
    fs::create_directory(dir + "log", error);
    if (error) return "cannot create " + dir + "log/: " + error.message();

    if (same_directory(dir, staged_dir)) return std::nullopt;
    if (!fs::exists(dir + "config.xml", error)) {
        copy_private(staged_dir + kDefaultConfigPath, dir + "config.xml");
    }
    copy_folder(dir, staged_dir, "image");
    copy_folder(dir, staged_dir, "help");
    // The user's own certificate settings and catalogue entries stay as they are.
    for (const char* file : {"openssl.cnf", kPortsListFile}) {
        fs::copy_file(staged_dir + file, dir + file, fs::copy_options::skip_existing, error);
    }
    copy_missing_files(staged_dir + kDefaultCaPath, dir + "CA");
    fs::create_directories(dir + "CA/newcerts", error);
    return std::nullopt;
}

}  // namespace zk
