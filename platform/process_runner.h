#pragma once
// Runs other programs (systemctl, xdg-open): a seam, so tests record the command lines instead
// of starting anything.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zk {

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs `argv` (argv[0] looked up in PATH) with its output discarded and waits for it.
    // Returns its exit status, or -1 when it could not be started or did not exit normally.
    virtual int run(const std::vector<std::string>& argv) = 0;
    // Starts `argv` without waiting (a browser, a file viewer). False when it could not be
    // started. The child is reaped without the caller's help, so none is left as a zombie.
    virtual bool launch(const std::vector<std::string>& argv) = 0;
};

// The real one: posix_spawnp. Callable from any thread.
class SystemProcessRunner final : public ProcessRunner {
public:
    int run(const std::vector<std::string>& argv) override;
    bool launch(const std::vector<std::string>& argv) override;
};

// How a run_captured call went.
enum class RunStart { started, program_missing, failed };

struct CapturedRun {
    RunStart start = RunStart::failed;
    // Its exit status when it ran, or -1 when it did not exit normally.
    int exit_status = -1;
    // What it printed on standard output and error together, its first `max_output` bytes; or,
    // when it did not start, why.
    std::string output;
};

// Runs `argv` (argv[0] looked up in PATH) in `working_dir` (the caller's own when empty), with
// standard input on /dev/null, the caller's environment plus `environment` (name, value: these
// replace variables of the same name), and waits for it to end while collecting its output; what
// comes beyond `max_output` bytes is read and dropped, so the child never blocks on a full pipe.
// Callable from any thread; blocks for as long as the program runs.
CapturedRun run_captured(const std::vector<std::string>& argv, const std::string& working_dir,
                         std::size_t max_output,
                         const std::vector<std::pair<std::string, std::string>>& environment = {});

}  // namespace zk
