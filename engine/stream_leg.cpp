#include "engine/stream_leg.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>

#include "engine/brellix_socket.h"

namespace zk {
namespace {

class PlainLeg : public StreamLeg {
public:
    explicit PlainLeg(int fd) : fd_(fd) {}

    int read(char* buffer, std::size_t& len, std::int64_t timeout_us) override {
        if (blocking_ && timeout_us < 0) {
            ssize_t n;
            do {
                n = ::recv(fd_, buffer, len, 0);
            } while (n < 0 && errno == EINTR);
            len = n > 0 ? static_cast<std::size_t>(n) : 0;
            return n > 0 ? kSocketDone : kSocketError;  // 0: the peer closed
        }
        const int result = brellix_socket_recv(fd_, buffer, len, timeout_us);
        return result == kSocketError ? kSocketError : kSocketDone;
    }

    // Never blocks in the kernel, whatever the socket's mode: a write waits for the socket at
    // most `wait_us` each time it cannot go on, so a reader that stops reading is noticed.
    int write_all(const char* data, std::size_t len, std::int64_t wait_us) override {
        std::size_t sent = 0;
        do {
            const ssize_t n = ::send(fd_, data + sent, len - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0) {
                sent += static_cast<std::size_t>(n);
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                const int waited = brellix_socket_wait(fd_, 0, wait_us);
                if (waited != kSocketDone) return waited;
            } else if (errno != EINTR) {
                return kSocketError;
            }
        } while (sent < len);
        return kSocketDone;
    }

    void start_relaying() override {
        // A socket carries no other status flag, so one call clears O_NONBLOCK.
        blocking_ = ::fcntl(fd_, F_SETFL, 0) == 0;
    }

    int peekable_socket() const override { return fd_; }

private:
    const int fd_;
    bool blocking_ = false;  // set before the relay threads start, read by the reading one
};

}  // namespace

int StreamLeg::read_line(char* buffer, std::size_t capacity, std::size_t& count,
                         std::int64_t timeout_us) {
    count = 0;
    while (count < capacity) {
        std::size_t n = 1;
        const int result = read(buffer + count, n, timeout_us);
        if (result != kSocketDone) return result;
        if (n == 0) return kSocketTimeout;
        if (buffer[count++] == '\n') return kSocketDone;
    }
    return kSocketError;
}

std::shared_ptr<StreamLeg> make_plain_leg(int fd) {
    return std::make_shared<PlainLeg>(fd);
}

}  // namespace zk
