#include "engine/stream_leg.h"

#include "engine/brellix_socket.h"

namespace zk {
namespace {

class PlainLeg : public StreamLeg {
public:
    explicit PlainLeg(int fd) : fd_(fd) {}

    int read(char* buffer, std::size_t& len, std::int64_t timeout_us) override {
        const int result = brellix_socket_recv(fd_, buffer, len, timeout_us);
        return result == kSocketError ? kSocketError : kSocketDone;
    }

    int write_all(const char* data, std::size_t len, std::int64_t wait_us) override {
        return brellix_socket_send_all(fd_, data, len, nullptr, wait_us);
    }

private:
    const int fd_;
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
