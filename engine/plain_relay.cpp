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

#include "engine/descriptor_shortage.h"
#include "engine/splice_pipe_pool.h"

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kCopyChunk = 65536;
constexpr std::size_t kSpliceChunk = 1 << 20;
// A busy direction yields to the other after this many chunks.
constexpr int kChunksPerTurn = 8;

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

// empty: `from` had nothing at all this turn; wants_read: it was emptied after moving bytes.
enum class Turn { empty, wants_read, wants_write, ended };

// One direction: bytes read from `from` are queued (in a pipe when nobody looks at them and one
// can be had, otherwise in a buffer) until `to` has taken them all. The pipe is held only while
// bytes are queued.
class Flow {
public:
    Flow(PlainFlow& flow, std::size_t copy_chunk, bool splicing)
        : flow_(flow), copy_chunk_(copy_chunk), splicing_(splicing) {}

    ~Flow() { return_splice_pipe(pipe_, queued_ == 0); }  // bytes left: the pipe is closed

    bool pending() const { return queued_ > 0; }
    Clock::time_point last_progress() const { return last_progress_; }

    Turn take_turn() {
        Turn result = Turn::wants_read;
        for (int chunk = 0; chunk < kChunksPerTurn; ++chunk) {
            const bool fresh = queued_ == 0;
            if (fresh) {
                const ssize_t n = fill();
                if (n < 0) return Turn::ended;
                if (n == 0) {
                    if (chunk == 0) result = Turn::empty;
                    break;
                }
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
            if (chunk_length_ < read_size_) break;
        }
        return_splice_pipe(pipe_, true);  // nothing on its way: an idle session holds no pipe
        return result;
    }

private:
    // Picks where the next chunk waits: the pipe, or the buffer when no pipe can be had.
    void prepare_fill() {
        if (splicing_ && !pipe_.open()) {
            pipe_ = take_splice_pipe();
            if (!pipe_.open()) note_descriptor_shortage(errno);
        }
        if (pipe_.open()) {
            read_size_ = kSpliceChunk;
            return;
        }
        if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(copy_chunk_);
        read_size_ = copy_chunk_;
    }

    // Bytes read (> 0), 0 when `from` has nothing now, -1 when it closed or failed.
    ssize_t fill() {
        prepare_fill();
        for (;;) {
            const ssize_t n = pipe_.open()
                                  ? ::splice(flow_.from, nullptr, pipe_.write_end, nullptr,
                                             read_size_, SPLICE_F_MOVE | SPLICE_F_NONBLOCK)
                                  : ::recv(flow_.from, buffer_.get(), read_size_, MSG_DONTWAIT);
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
            const ssize_t n = pipe_.open()
                                  ? ::splice(pipe_.read_end, nullptr, flow_.to, nullptr, queued_,
                                             SPLICE_F_MOVE | SPLICE_F_NONBLOCK)
                                  : ::send(flow_.to, buffer_.get() + (chunk_length_ - queued_),
                                           queued_, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                queued_ -= static_cast<std::size_t>(n);
                moved = 1;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return moved;
            if (n < 0 && errno == EINTR) continue;
            return -1;
        }
        if (flow_.dump) flow_.dump(buffer_.get(), chunk_length_);
        return moved;
    }

    PlainFlow& flow_;
    const std::size_t copy_chunk_;
    const bool splicing_;
    SplicePipe pipe_;
    std::unique_ptr<char[]> buffer_;  // made when the first chunk is copied
    std::size_t read_size_ = 0;
    std::size_t queued_ = 0;
    std::size_t chunk_length_ = 0;
    Clock::time_point last_progress_;
};

// Milliseconds until the oldest stalled write of `flows` runs out of time; -1 when none waits.
int poll_timeout_ms(std::initializer_list<const Flow*> flows, std::int64_t write_wait_us) {
    Clock::time_point since = Clock::time_point::max();
    for (const Flow* flow : flows) {
        if (flow->pending()) since = std::min(since, flow->last_progress());
    }
    if (since == Clock::time_point::max()) return -1;  // idle: no wake-ups at all
    const auto left = since + std::chrono::microseconds(write_wait_us) - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, 1 << 30));
}

bool stalled(const Flow& flow, std::int64_t write_wait_us) {
    return flow.pending() &&
           Clock::now() - flow.last_progress() >= std::chrono::microseconds(write_wait_us);
}

constexpr short kGone = POLLERR | POLLHUP | POLLNVAL;

// After the side `last` reads from hung up or failed: what it still holds (the kernel keeps
// received bytes readable after a reset) goes to the other side until `from` reports its end.
void deliver_last_bytes(Flow& last, int to, std::int64_t write_wait_us) {
    for (;;) {
        if (!last.pending()) {
            // Reading a hung-up socket never waits: it gives bytes, its end or its error.
            const Turn turn = last.take_turn();
            if (turn == Turn::ended || turn == Turn::empty) return;
            if (turn == Turn::wants_read) continue;
        }
        // Waiting only for room on the other side: the hung-up one would wake poll at once.
        pollfd out{to, POLLOUT, 0};
        const int ready = ::poll(&out, 1, poll_timeout_ms({&last}, write_wait_us));
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0 && last.take_turn() == Turn::ended) return;
        if (stalled(last, write_wait_us)) return;
    }
}

}  // namespace

void relay_plain(PlainFlow& client_to_destination, PlainFlow& destination_to_client,
                 std::size_t dump_chunk, std::int64_t write_wait_us) {
    const bool splicing = !client_to_destination.dump && !destination_to_client.dump;
    if (splicing) block_sigpipe();
    const std::size_t copy_chunk = splicing ? kCopyChunk : std::min(dump_chunk, kCopyChunk);
    Flow up(client_to_destination, copy_chunk, splicing);
    Flow down(destination_to_client, copy_chunk, splicing);

    const int client = client_to_destination.from;
    const int destination = destination_to_client.from;
    for (;;) {
        pollfd fds[2] = {{client, 0, 0}, {destination, 0, 0}};
        fds[0].events =
            static_cast<short>((up.pending() ? 0 : POLLIN) | (down.pending() ? POLLOUT : 0));
        fds[1].events =
            static_cast<short>((down.pending() ? 0 : POLLIN) | (up.pending() ? POLLOUT : 0));
        const int ready = ::poll(fds, 2, poll_timeout_ms({&up, &down}, write_wait_us));
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0) {
            if ((fds[0].revents | fds[1].revents) & POLLNVAL) return;
            // A side that hung up or failed: nothing more goes to it, but what it sent before
            // still reaches the other side.
            if (fds[1].revents & kGone) {
                deliver_last_bytes(down, client, write_wait_us);
                return;
            }
            if (fds[0].revents & kGone) {
                deliver_last_bytes(up, destination, write_wait_us);
                return;
            }
            const bool up_ready = (fds[0].revents & POLLIN) || (fds[1].revents & POLLOUT);
            const bool down_ready = (fds[1].revents & POLLIN) || (fds[0].revents & POLLOUT);
            if (up_ready && up.take_turn() == Turn::ended) return;
            if (down_ready && down.take_turn() == Turn::ended) return;
        }
        if (stalled(up, write_wait_us) || stalled(down, write_wait_us)) return;
    }
}

}  // namespace zk
