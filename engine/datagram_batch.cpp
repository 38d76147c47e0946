#include "engine/datagram_batch.h"

#include <sys/mman.h>

#include <cerrno>
#include <new>

#include "engine/brellix_socket.h"

namespace zk {
namespace {

constexpr std::size_t kSlotsSize = DatagramBatch::kCapacity * DatagramBatch::kDatagramSize;

bool would_block() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

DatagramBatch::DatagramBatch() {
    // Mapped, not allocated: a megabyte per listener would otherwise be resident from the start
    // although small datagrams touch only the first page of each slot.
    void* mapped =
        ::mmap(nullptr, kSlotsSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    slots_ = static_cast<char*>(mapped);
    for (unsigned i = 0; i < kCapacity; ++i) {
        vectors_[i] = {slots_ + i * kDatagramSize, kDatagramSize};
    }
}

DatagramBatch::~DatagramBatch() {
    ::munmap(slots_, kSlotsSize);
}

int DatagramBatch::receive(int sock) {
    for (unsigned i = 0; i < kCapacity; ++i) {
        messages_[i] = {};
        messages_[i].msg_hdr.msg_name = &senders_[i];
        messages_[i].msg_hdr.msg_namelen = sizeof senders_[i];
        messages_[i].msg_hdr.msg_iov = &vectors_[i];
        messages_[i].msg_hdr.msg_iovlen = 1;
    }
    for (;;) {
        const int got = ::recvmmsg(sock, messages_, kCapacity, MSG_DONTWAIT, nullptr);
        if (got >= 0) return got;
        if (would_block()) return 0;
        if (errno != EINTR) return -1;
    }
}

void send_datagrams(int sock, mmsghdr* messages, unsigned count, std::int64_t wait_us) {
    unsigned done = 0;
    while (done < count) {
        const int sent =
            ::sendmmsg(sock, messages + done, count - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<unsigned>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && would_block()) {
            if (brellix_socket_wait(sock, 0, wait_us) != kSocketDone) return;
        } else {
            ++done;  // refused (an ICMP error from an earlier datagram, say): this one is lost
        }
    }
}

}  // namespace zk
