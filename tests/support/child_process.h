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
    // Starts `program` with `args`; stdout and stderr go to files in `output_dir`.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& output_dir)
        : out_path_(output_dir + "child.out"), err_path_(output_dir + "child.err") {
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
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
    std::string out_path_;
    std::string err_path_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

}  // namespace zk::test
