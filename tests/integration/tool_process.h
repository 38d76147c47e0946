#pragma once
// Runs a command-line peer (openssl, curl, stunnel) as a child process, found on PATH, with its
// standard input from a text and its output in files; and the test certificates those peers and
// the TLS mappings share. Only the child started here is ever signalled, by its PID.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace zk::test {

// True when `name` is an executable on PATH.
inline bool have_tool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

class ToolProcess {
public:
    // Starts argv[0] (searched on PATH) with the rest as arguments. `input` is written to a file
    // that becomes the child's standard input; output goes to files in `dir`, named by `tag`.
    ToolProcess(std::vector<std::string> argv, const std::string& dir, const std::string& tag,
                const std::string& input = "")
        : in_path_(dir + tag + ".in"),
          out_path_(dir + tag + ".out"),
          err_path_(dir + tag + ".err") {
        write_file(in_path_, input);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in_path_.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ToolProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits up to `limit` for the child to end: its exit status, or -1 (still running, or
    // ended by a signal).
    int wait(std::chrono::milliseconds limit) {
        if (pid_ <= 0) return -1;
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() >= end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string out() const { return read_file(out_path_); }
    std::string err() const { return read_file(err_path_); }

private:
    std::string in_path_;
    std::string out_path_;
    std::string err_path_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

// A certificate and its private key, PEM files.
struct CertificatePair {
    std::string certificate;
    std::string key;
};

// Two unrelated self-signed pairs made once per test binary with the openssl tool (P-256 keys,
// quick to make), in a directory removed at exit. Empty paths when openssl failed.
struct TestCertificates {
    CertificatePair first;
    CertificatePair second;
};

inline const TestCertificates& test_certificates() {
    static TempDir dir;
    static const TestCertificates certificates = [] {
        TestCertificates made;
        int n = 0;
        for (CertificatePair* pair : {&made.first, &made.second}) {
            const std::string tag = "pair" + std::to_string(++n);
            ToolProcess openssl(
                {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                 "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                 "-keyout", dir.file(tag + ".key"), "-out", dir.file(tag + ".crt")},
                dir.dir(), tag);
            if (openssl.wait(std::chrono::seconds(30)) == 0) {
                *pair = {dir.file(tag + ".crt"), dir.file(tag + ".key")};
            }
        }
        return made;
    }();
    return certificates;
}

}  // namespace zk::test
