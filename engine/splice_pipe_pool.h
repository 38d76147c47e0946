#pragma once
// Pipes for splice(), lent to a relay direction only while bytes are on their way, so an idle
// session holds its two sockets and nothing more. Empty pipes go back to one shared pool of
// bounded size; a pipe that still holds bytes is closed instead, so no session ever reads what
// another left behind. Internal to the engine; any thread.

namespace zk {

struct SplicePipe {
    int read_end = -1;
    int write_end = -1;
    bool open() const { return read_end >= 0; }
};

// A pipe from the pool, or a new one; a closed pipe (errno set) when none can be made.
SplicePipe take_splice_pipe();

// Gives `pipe` back: to the pool when `empty` and the pool has room, otherwise closed. Leaves
// `pipe` closed.
void return_splice_pipe(SplicePipe& pipe, bool empty);

}  // namespace zk
