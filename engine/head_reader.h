#pragma once
// Reads the head of a request to an HTTP-proxy mapping line by line, taking from the client not
// one byte beyond the empty line that ends it: what follows (a body, the bytes of a tunnel)
// is left for the relays. Internal to the engine; session thread only.

#include <cstdint>
#include <string>

#include "engine/stream_leg.h"

namespace zk {

class HeadReader {
public:
    // Reads from `leg`. From a leg with a peekable socket (plain) whole runs of lines are taken
    // at once, seen first with MSG_PEEK; from any other (TLS) one byte per read, which the SSL
    // object serves from its buffer. Every wait for the client lasts at most `wait_us`.
    HeadReader(StreamLeg& leg, std::int64_t wait_us)
        : leg_(leg), fd_(leg.peekable_socket()), wait_us_(wait_us) {}

    // The next line, its line feed included. False when the client closed or failed, the wait
    // ran out, or the line does not fit kProxyLineSize bytes.
    bool read_line(std::string& line);

private:
    // Takes what the client has sent, up to the end of the head when that is in sight; false
    // when nothing could be taken.
    bool take_more();

    StreamLeg& leg_;
    const int fd_;
    const std::int64_t wait_us_;
    std::string taken_;  // taken from the socket, not yet handed out as lines
    bool head_end_taken_ = false;
};

}  // namespace zk
