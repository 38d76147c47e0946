#include "engine/splice_pipe_pool.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace zk {
namespace {

// A larger pipe moves more of a busy stream per call; the default size still works.
constexpr int kPipeSize = 1 << 20;
// Enough for the directions moving bytes at one moment on a busy machine; more are made and
// closed as needed.
constexpr std::size_t kMostPooled = 32;

struct Pool {
    std::mutex lock;
    std::vector<SplicePipe> pipes;  // guarded by lock; all empty
};

Pool& pool() {
    static auto* p = new Pool;  // never destroyed: relay threads may outlive main
    return *p;
}

void close_pipe(SplicePipe& pipe) {
    if (!pipe.open()) return;
    ::close(pipe.read_end);
    ::close(pipe.write_end);
    pipe = {};
}

}  // namespace

SplicePipe take_splice_pipe() {
    Pool& p = pool();
    {
        std::lock_guard guard(p.lock);
        if (!p.pipes.empty()) {
            const SplicePipe pipe = p.pipes.back();
            p.pipes.pop_back();
            return pipe;
        }
    }
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
    ::fcntl(ends[1], F_SETPIPE_SZ, kPipeSize);
    return {ends[0], ends[1]};
}

void return_splice_pipe(SplicePipe& pipe, bool empty) {
    if (!pipe.open()) return;
    if (empty) {
        Pool& p = pool();
        std::lock_guard guard(p.lock);
        if (p.pipes.size() < kMostPooled) {
            p.pipes.push_back(pipe);
            pipe = {};
            return;
        }
    }
    close_pipe(pipe);
}

}  // namespace zk
