#pragma once
// One side of a TCP session as the relay loops see it: the plain socket, or an SSL connection
// over it. Each leg is read by one relay thread and written by the other.
//
// Threading: read() and write_all() may run at the same time on two threads; implementations
// make that safe (an SSL leg serialises its calls on the SSL object).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zk {

class StreamLeg {
public:
    virtual ~StreamLeg() = default;

    // Reads up to `len` bytes, waiting up to `timeout_us` (negative: no limit). 0 with the count
    // (0 only when the wait ran out), or -1 when the peer closed or the socket failed (a
    // shutdown() of the socket by another thread wakes a waiting read this way).
    virtual int read(char* buffer, std::size_t& len, std::int64_t timeout_us) = 0;

    // Writes all `len` bytes. 0 when all went out; 258 when a write made no progress for
    // `wait_us` (stalled: the stream cannot go on); -1 on failure.
    virtual int write_all(const char* data, std::size_t len, std::int64_t wait_us) = 0;

    // Called once the session is set up, before the two relay threads use the leg. From then on
    // each side is read by a thread with nothing else to do, so a plain leg reads in blocking
    // mode: data wakes it in one system call, and a shutdown() still wakes it.
    virtual void start_relaying() {}

    // Tells the peer that the stream ends on purpose, once and without waiting. A plain leg has
    // nothing to add: shutting its socket down says it.
    virtual void close_notify() {}

    // The socket whose bytes are the stream itself, so a reader may peek at them: a plain leg's
    // own; 0 when the bytes on the socket are not the stream's (TLS).
    virtual int peekable_socket() const { return 0; }

    // Reads one byte at a time until a line feed has been stored, so nothing after it is
    // consumed. `count` receives the bytes stored; -1 when `capacity` fills without one.
    int read_line(char* buffer, std::size_t capacity, std::size_t& count, std::int64_t timeout_us);
};

// The plain socket `fd` (not owned: the session record closes it).
std::shared_ptr<StreamLeg> make_plain_leg(int fd);

}  // namespace zk
