#pragma once
// Runs a program of ours as a child process with its output in files, for tests that drive the
// binaries as a user would. Only the child started here is ever signalled, by its PID.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/wait_for.h"

extern char** environ;

namespace zk::test {

class ChildProcess {
public:
    // Starts argv[0] (searched on PATH unless it is a path) with the rest as arguments. `input`
    // becomes the child's standard input; its output goes to files in `dir` named by `tag`.
    ChildProcess(std::vector<std::string> argv, const std::string& dir,
                 const std::string& tag = "child", const std::string& input = "")
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

    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number) { ::kill(pid_, number); }

    // Waits up to `limit` for the child to end; returns its exit status, or -1 if it did not
    // end (or died by a signal).
    int wait(std::chrono::milliseconds limit) {
        if (pid_ <= 0) return -1;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
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

}  // namespace zk::test
