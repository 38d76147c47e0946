#include "platform/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace zk {
namespace {

// posix_spawn's attributes and file actions, released with the object. The child gets
// /dev/null on 0, 1 and 2 and no other descriptor of ours: the program holds listening and
// relayed sockets, and a browser that inherited one would keep a port busy after we close it.
// Signal dispositions and the mask are reset: the engine ignores SIGPIPE, which an exec would
// otherwise pass on.
class SpawnSetup {
public:
    explicit SpawnSetup(bool own_process_group) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        for (int fd = 0; fd <= 2; ++fd) {
            posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        }
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

    // The child's id, or -1 when it could not be started (also when the program is missing).
    pid_t spawn(const std::vector<std::string>& argv) const {
        if (argv.empty()) return -1;
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, args[0], &actions_, &attributes_, args.data(), environ) != 0) {
            return -1;
        }
        return pid;
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

}  // namespace zk
