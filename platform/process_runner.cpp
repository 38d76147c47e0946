#include "platform/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace zk {
namespace {

// posix_spawn's attributes and file actions, released with the object. The child gets
// /dev/null on 0, 1 and 2 (or `output_fd` on 1 and 2) and no other descriptor of ours: the
// program holds listening and relayed sockets, and a browser that inherited one would keep a
// port busy after we close it. Signal dispositions and the mask are reset: the engine ignores
// SIGPIPE, which an exec would otherwise pass on. `output_fd` and `directory_fd` (the working
// directory to enter), when given, must be above 2.
class SpawnSetup {
public:
    explicit SpawnSetup(bool own_process_group, int output_fd = -1, int directory_fd = -1) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        for (int fd = 1; fd <= 2; ++fd) {
            if (output_fd >= 0) {
                posix_spawn_file_actions_adddup2(&actions_, output_fd, fd);
            } else {
                posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", O_WRONLY, 0);
            }
        }
        if (directory_fd >= 0) posix_spawn_file_actions_addfchdir_np(&actions_, directory_fd);
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);

        sigset_t all;
        sigfillset(&all);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
        if (own_process_group) {
            // A launched viewer outlives a Ctrl-C typed at the terminal that started us.
            posix_spawnattr_setpgroup(&attributes_, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        posix_spawnattr_setflags(&attributes_, flags);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The child's id, or -1 when it could not be started (also when the program is missing),
    // with the reason in `error` when given (ENOENT: no such program on PATH).
    pid_t spawn(const std::vector<std::string>& argv, char* const* envp = environ,
                int* error = nullptr) const {
        if (argv.empty()) return -1;
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid = -1;
        const int result = posix_spawnp(&pid, args[0], &actions_, &attributes_, args.data(), envp);
        if (error) *error = result;
        return result == 0 ? pid : -1;
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Waits for `pid` through interrupted calls; its wait status, or -1 when it cannot be waited for.
int wait_child(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// A descriptor that owns its number until the scope ends.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Moves the descriptor above 0, 1 and 2, where the child's standard streams go: a caller
    // started with one of them closed would otherwise have the child's set-up overwrite it.
    bool lift() {
        if (fd_ > 2) return true;
        const int lifted = ::fcntl(fd_, F_DUPFD_CLOEXEC, 3);
        if (lifted < 0) return false;
        reset(lifted);
        return true;
    }

private:
    int fd_;
};

// The caller's environment with `changes` set, as "NAME=value" entries.
std::vector<std::string> child_environment(
    const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(changes.begin(), changes.end(), [&](const auto& c) {
            return entry.size() > c.first.size() && entry.starts_with(c.first) &&
                   entry[c.first.size()] == '=';
        });
        if (!replaced) entries.emplace_back(entry);
    }
    for (const auto& [name, value] : changes)
        entries.push_back(name + "=" + value);
    return entries;
}

// Reads `fd` to its end, keeping the first `max_output` bytes in `output`.
void collect(int fd, std::size_t max_output, std::string& output) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const std::size_t room = max_output - std::min(max_output, output.size());
        output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
}

std::string failure(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

}  // namespace

int SystemProcessRunner::run(const std::vector<std::string>& argv) {
    const pid_t pid = SpawnSetup(false).spawn(argv);
    if (pid < 0) return -1;
    const int status = wait_child(pid);
    if (status < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool SystemProcessRunner::launch(const std::vector<std::string>& argv) {
    const pid_t pid = SpawnSetup(true).spawn(argv);
    if (pid < 0) return false;
    // A detached waiter per child reaps it whenever it ends; forking twice instead would need
    // fork() in a threaded program. The waiter touches nothing but the child's id.
    std::thread([pid] { wait_child(pid); }).detach();
    return true;
}

CapturedRun run_captured(const std::vector<std::string>& argv, const std::string& working_dir,
                         std::size_t max_output,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
    CapturedRun run;
    if (argv.empty()) {
        run.output = "nothing to run";
        return run;
    }
    Descriptor directory;
    if (!working_dir.empty()) {
        directory.reset(::open(working_dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() < 0 || !directory.lift()) {
            run.output = failure("cannot enter " + working_dir, errno);
            return run;
        }
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        run.output = failure("cannot start " + argv[0], errno);
        return run;
    }
    Descriptor reading(ends[0]);
    Descriptor writing(ends[1]);
    if (!reading.lift() || !writing.lift()) {
        run.output = failure("cannot start " + argv[0], errno);
        return run;
    }

    std::vector<std::string> entries = child_environment(environment);
    std::vector<char*> envp;
    envp.reserve(entries.size() + 1);
    for (std::string& e : entries)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int error = 0;
    const pid_t pid =
        SpawnSetup(false, writing.get(), directory.get()).spawn(argv, envp.data(), &error);
    writing.reset();  // the child's copies alone keep the pipe open: its end is our end of file
    if (pid < 0) {
        run.start = error == ENOENT ? RunStart::program_missing : RunStart::failed;
        run.output = failure("cannot start " + argv[0], error);
        return run;
    }
    run.start = RunStart::started;
    collect(reading.get(), max_output, run.output);
    const int status = wait_child(pid);
    if (status >= 0 && WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    return run;
}

}  // namespace zk
