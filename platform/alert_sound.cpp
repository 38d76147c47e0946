#include "platform/alert_sound.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace zk {

void SystemAlertSound::play(std::string_view wav_path) {
    const std::string path(wav_path);
    if (::access(path.c_str(), R_OK) != 0) return;
    for (const char* player : {"paplay", "aplay"}) {
        std::string program = player;
        std::string quiet = "-q";
        std::vector<char*> argv{program.data()};
        if (program == "aplay") argv.push_back(quiet.data());
        std::string file = path;
        argv.push_back(file.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : {0, 1, 2}) {
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        }
        pid_t pid = 0;
        const int error = ::posix_spawnp(&pid, player, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) continue;  // not installed: try the next player
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return;  // played, or the device was busy: either way, done
    }
}

}  // namespace zk
