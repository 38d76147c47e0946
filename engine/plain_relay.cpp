#include "engine/plain_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <memory>

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kCopyChunk = 65536;
constexpr int kPipeSize = 1 << 20;
// A busy direction yields to the other after this many chunks.
constexpr int kChunksPerTurn = 8;

// A pipe a thread splices through, kept for its next session while it is left empty.
struct SplicePipe {
    int read_end = -1;
    int write_end = -1;

    SplicePipe() = default;
    SplicePipe(const SplicePipe&) = delete;
    SplicePipe& operator=(const SplicePipe&) = delete;
    ~SplicePipe() { discard(); }

    bool open() {
        if (read_end >= 0) return true;
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return false;
        read_end = ends[0];
        write_end = ends[1];
        // A larger pipe moves more of a busy stream per call; the default size still works.
        ::fcntl(write_end, F_SETPIPE_SZ, kPipeSize);
        return true;
    }
    void discard() {
        if (read_end < 0) return;
        ::close(read_end);
        ::close(write_end);
        read_end = write_end = -1;
    }
};

thread_local SplicePipe thread_pipes[2];

// splice() into a socket has no MSG_NOSIGNAL: a peer that is gone must end the session with
// EPIPE, not end the process with SIGPIPE. Blocked for this thread only, once.
void block_sigpipe() {
    thread_local bool blocked = false;
    if (blocked) return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    blocked = ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

enum class Turn { wants_read, wants_write, ended };

// One direction: bytes read from `from` are queued (in a buffer, or in a pipe when nobody looks
// at them) until `to` has taken them all.
class Flow {
public:
    Flow(PlainFlow& flow, char* buffer, std::size_t chunk, SplicePipe* pipe)
        : flow_(flow), buffer_(buffer), chunk_(chunk), pipe_(pipe) {}

    ~Flow() {
        if (pipe_ && queued_ > 0) pipe_->discard();  // never hand stale bytes to a next session
    }

    bool pending() const { return queued_ > 0; }
    Clock::time_point last_progress() const { return last_progress_; }

    Turn take_turn() {
        for (int chunk = 0; chunk < kChunksPerTurn; ++chunk) {
            const bool fresh = queued_ == 0;
            if (fresh) {
                const ssize_t n = fill();
                if (n < 0) return Turn::ended;
                if (n == 0) return Turn::wants_read;
                flow_.count(static_cast<std::size_t>(n));
            }
            const int moved = drain();
            if (moved < 0) return Turn::ended;
            if (queued_ > 0) {
                // The stall clock runs from the last byte that went (or from the read).
                if (fresh || moved > 0) last_progress_ = Clock::now();
                return Turn::wants_write;
            }
            // A short read has most likely emptied the socket: wait rather than ask again.
            if (chunk_length_ < chunk_) return Turn::wants_read;
        }
        return Turn::wants_read;
    }

private:
    // Bytes read (> 0), 0 when `from` has nothing now, -1 when it closed or failed.
    ssize_t fill() {
        for (;;) {
            const ssize_t n = pipe_ ? ::splice(flow_.from, nullptr, pipe_->write_end, nullptr,
                                               chunk_, SPLICE_F_MOVE | SPLICE_F_NONBLOCK)
                                    : ::recv(flow_.from, buffer_, chunk_, MSG_DONTWAIT);
            if (n > 0) {
                queued_ = static_cast<std::size_t>(n);
                chunk_length_ = queued_;
                return n;
            }
            if (n == 0) return -1;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            if (errno != EINTR) return -1;
        }
    }

    // Writes what `to` takes now: -1 when it failed, else 1 when any byte went, 0 when none.
    int drain() {
        int moved = 0;
        while (queued_ > 0) {
            const ssize_t n = pipe_ ? ::splice(pipe_->read_end, nullptr, flow_.to, nullptr, queued_,
                                               SPLICE_F_MOVE | SPLICE_F_NONBLOCK)
                                    : ::send(flow_.to, buffer_ + (chunk_length_ - queued_), queued_,
                                             MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                queued_ -= static_cast<std::size_t>(n);
                moved = 1;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return moved;
            if (n < 0 && errno == EINTR) continue;
            return -1;
        }
        if (flow_.dump) flow_.dump(buffer_, chunk_length_);
        return moved;
    }

    PlainFlow& flow_;
    char* const buffer_;
    const std::size_t chunk_;
    SplicePipe* const pipe_;
    std::size_t queued_ = 0;
    std::size_t chunk_length_ = 0;
    Clock::time_point last_progress_;
};

int poll_timeout_ms(const Flow& a, const Flow& b, std::int64_t write_wait_us) {
    if (!a.pending() && !b.pending()) return -1;  // idle: no wake-ups at all
    Clock::time_point since = Clock::time_point::max();
    if (a.pending()) since = a.last_progress();
    if (b.pending()) since = std::min(since, b.last_progress());
    const auto left = since + std::chrono::microseconds(write_wait_us) - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, 1 << 30));
}

bool stalled(const Flow& flow, std::int64_t write_wait_us) {
    return flow.pending() &&
           Clock::now() - flow.last_progress() >= std::chrono::microseconds(write_wait_us);
}

}  // namespace

void relay_plain(PlainFlow& client_to_destination, PlainFlow& destination_to_client,
                 std::size_t dump_chunk, std::int64_t write_wait_us) {
    const bool splicing = !client_to_destination.dump && !destination_to_client.dump;
    SplicePipe* pipes[2] = {nullptr, nullptr};
    if (splicing && thread_pipes[0].open() && thread_pipes[1].open()) {
        block_sigpipe();
        pipes[0] = &thread_pipes[0];
        pipes[1] = &thread_pipes[1];
    }
    const std::size_t chunk = splicing ? kCopyChunk : std::min(dump_chunk, kCopyChunk);
    // Copying needs a buffer per direction; splicing none, so an idle session stays small.
    std::unique_ptr<char[]> buffers;
    if (!pipes[0]) buffers = std::make_unique_for_overwrite<char[]>(2 * chunk);
    char* const space = buffers.get();
    Flow up(client_to_destination, space, space ? chunk : kPipeSize, pipes[0]);
    Flow down(destination_to_client, space ? space + chunk : nullptr, space ? chunk : kPipeSize,
              pipes[1]);

    const int client = client_to_destination.from;
    const int destination = destination_to_client.from;
    for (;;) {
        pollfd fds[2] = {{client, 0, 0}, {destination, 0, 0}};
        fds[0].events =
            static_cast<short>((up.pending() ? 0 : POLLIN) | (down.pending() ? POLLOUT : 0));
        fds[1].events =
            static_cast<short>((down.pending() ? 0 : POLLIN) | (up.pending() ? POLLOUT : 0));
        const int ready = ::poll(fds, 2, poll_timeout_ms(up, down, write_wait_us));
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0) {
            constexpr short kGone = POLLERR | POLLHUP | POLLNVAL;
            const bool up_ready = (fds[0].revents & (POLLIN | kGone)) || (fds[1].revents & POLLOUT);
            const bool down_ready =
                (fds[1].revents & (POLLIN | kGone)) || (fds[0].revents & POLLOUT);
            if (up_ready && up.take_turn() == Turn::ended) return;
            if (down_ready && down.take_turn() == Turn::ended) return;
            // A side that failed or hung up has had its last bytes read just now.
            if ((fds[0].revents | fds[1].revents) & kGone) return;
        }
        if (stalled(up, write_wait_us) || stalled(down, write_wait_us)) return;
    }
}

}  // namespace zk
