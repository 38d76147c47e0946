#pragma once
// Datagrams taken from a socket many at a time (recvmmsg), and runs of datagrams sent on a
// connected socket at once (sendmmsg): under a flood the relay spends one system call on many
// datagrams instead of one on each. Internal to the engine.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

namespace zk {

class DatagramBatch {
public:
    static constexpr unsigned kCapacity = 16;
    static constexpr std::size_t kDatagramSize = 65535;

    DatagramBatch();
    ~DatagramBatch();
    DatagramBatch(const DatagramBatch&) = delete;
    DatagramBatch& operator=(const DatagramBatch&) = delete;

    // Takes the datagrams waiting on `sock` without blocking: their count, 0 when none is
    // waiting, -1 on another failure (errno).
    int receive(int sock);

    const char* data(unsigned i) const { return slots_ + i * kDatagramSize; }
    std::size_t size(unsigned i) const { return messages_[i].msg_len; }
    const sockaddr_in& sender(unsigned i) const { return senders_[i]; }

private:
    char* slots_;  // kCapacity slots of kDatagramSize; pages are used only as datagrams need them
    iovec vectors_[kCapacity];
    mmsghdr messages_[kCapacity];
    sockaddr_in senders_[kCapacity];
};

// Sends `count` datagrams on the connected `sock`. When the socket is full it waits up to
// `wait_us` for room, then drops what is left; a datagram the socket refuses is dropped alone.
void send_datagrams(int sock, mmsghdr* messages, unsigned count, std::int64_t wait_us);

}  // namespace zk
