#include "engine/ssl_socket_bio.h"

#include <openssl/bio.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace zk {
namespace {

int descriptor(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool try_again(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

int socket_write(BIO* bio, const char* data, size_t len, size_t* written) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(descriptor(bio), data, len, MSG_NOSIGNAL);
    if (n < 0) {
        if (try_again(errno)) BIO_set_retry_write(bio);
        return 0;
    }
    *written = static_cast<size_t>(n);
    return 1;
}

int socket_read(BIO* bio, char* buffer, size_t len, size_t* read) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(descriptor(bio), buffer, len, 0);
    if (n < 0) {
        if (try_again(errno)) BIO_set_retry_read(bio);
        return 0;
    }
    if (n == 0) return 0;  // the peer's orderly close: no retry
    *read = static_cast<size_t>(n);
    return 1;
}

long socket_ctrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int socket_create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socket_method() {
    // Made once and kept for the life of the process: BIOs made from it may live as long.
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zk socket");
        if (m != nullptr) {
            BIO_meth_set_write_ex(m, socket_write);
            BIO_meth_set_read_ex(m, socket_read);
            BIO_meth_set_ctrl(m, socket_ctrl);
            BIO_meth_set_create(m, socket_create);
        }
        return m;
    }();
    return method;
}

}  // namespace

BIO* make_socket_bio(int fd) {
    const BIO_METHOD* method = socket_method();
    if (method == nullptr) return nullptr;
    BIO* bio = BIO_new(method);
    if (bio != nullptr) BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    return bio;
}

}  // namespace zk
