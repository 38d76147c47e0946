// The real process runner: exit statuses, missing programs, and launched children reaped
// without the caller's help.

#include "platform/process_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace zk {
namespace {

// Our children, from /proc: "<pid> <state>" for each, zombies included.
std::vector<std::string> children() {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: comm may hold spaces, so read after the last ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) != 2) continue;
        if (parent == ::getpid()) {
            found.push_back(entry.path().filename().string() + " " + state);
        }
    }
    return found;
}

TEST(SystemProcessRunner, RunGivesTheExitStatusOrMinusOne) {
    struct Row {
        const char* name;
        std::vector<std::string> argv;
        int status;
    } rows[] = {
        {"true", {"true"}, 0},
        {"false", {"false"}, 1},
        {"exit 7", {"sh", "-c", "exit 7"}, 7},
        {"missing program", {"zk-no-such-program-here"}, -1},
        {"killed by a signal", {"sh", "-c", "kill -9 $$"}, -1},
        {"empty argv", {}, -1},
    };
    SystemProcessRunner runner;
    for (const Row& row : rows) {
        EXPECT_EQ(runner.run(row.argv), row.status) << row.name;
    }
}

TEST(SystemProcessRunner, ChildGetsNullStandardStreamsAndNoOtherDescriptor) {
    test::TempDir dir;
    // Without CLOEXEC: the child must still not see it.
    const int inherited = ::fcntl(1, F_DUPFD, 100);  // above any the child opens itself
    ASSERT_GE(inherited, 100);
    const std::string out = dir.file("fds");
    SystemProcessRunner runner;
    // The shell's own descriptors for the script are closed before ls reads the list.
    EXPECT_EQ(runner.run({"sh", "-c",
                          "ls /proc/self/fd > " + out +
                              "; readlink /proc/$$/fd/0 /proc/$$/fd/2 >> " + out}),
              0);
    ::close(inherited);
    const std::string listing = test::read_file(out);
    EXPECT_EQ(listing.find("\n" + std::to_string(inherited) + "\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("/dev/null\n/dev/null\n"), std::string::npos) << listing;
}

TEST(SystemProcessRunner, LaunchedChildIsReapedWhenItEnds) {
    SystemProcessRunner runner;
    EXPECT_FALSE(runner.launch({"zk-no-such-program-here"}));
    ASSERT_TRUE(runner.launch({"sleep", "1"}));
    // Positive control: the child is there while it runs.
    EXPECT_FALSE(children().empty());
    EXPECT_TRUE(test::wait_for([] { return children().empty(); }, std::chrono::seconds(30)))
        << "left behind: " << (children().empty() ? "" : children().front());
}

TEST(RunCaptured, CollectsBothStreamsInTheWorkingDirectoryWithTheGivenEnvironment) {
    test::TempDir dir;
    struct Row {
        const char* name;
        std::vector<std::string> argv;
        std::string working_dir;
        RunStart start;
        int status;
        std::string output;
    } rows[] = {
        {"both streams, in order",
         {"sh", "-c", "echo out; echo err >&2; exit 3"},
         "",
         RunStart::started,
         3,
         "out\nerr\n"},
        {"working directory",
         {"sh", "-c", "pwd"},
         dir.dir(),
         RunStart::started,
         0,
         dir.dir().substr(0, dir.dir().size() - 1) + "\n"},
        {"variable added and replaced",
         {"sh", "-c", "echo $ZK_ADDED $HOME"},
         "",
         RunStart::started,
         0,
         "added replaced\n"},
        {"standard input is empty",
         {"sh", "-c", "cat; echo end"},
         "",
         RunStart::started,
         0,
         "end\n"},
        {"output beyond the limit is dropped",
         {"sh", "-c", "head -c 100000 /dev/zero | tr '\\0' x"},
         "",
         RunStart::started,
         0,
         std::string(1000, 'x')},
        {"missing program",
         {"zk-no-such-program-here"},
         "",
         RunStart::program_missing,
         -1,
         "cannot start zk-no-such-program-here: No such file or directory"},
        {"missing working directory",
         {"true"},
         dir.file("none"),
         RunStart::failed,
         -1,
         "cannot enter " + dir.file("none") + ": No such file or directory"},
        {"killed by a signal", {"sh", "-c", "kill -9 $$"}, "", RunStart::started, -1, ""},
    };
    for (const Row& row : rows) {
        const CapturedRun run = run_captured(row.argv, row.working_dir, 1000,
                                             {{"ZK_ADDED", "added"}, {"HOME", "replaced"}});
        EXPECT_EQ(run.start, row.start) << row.name;
        EXPECT_EQ(run.exit_status, row.status) << row.name;
        EXPECT_EQ(run.output, row.output) << row.name;
    }
}

}  // namespace
}  // namespace zk
