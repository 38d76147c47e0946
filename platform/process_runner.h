#pragma once
// Runs other programs (systemctl, xdg-open): a seam, so tests record the command lines instead
// of starting anything.

#include <string>
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

}  // namespace zk
