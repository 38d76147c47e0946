#include "engine/ssl_leg.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>

#include <cerrno>
#include <chrono>

#include "engine/brellix_socket.h"
#include "engine/ssl_socket_bio.h"

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;

bool wants_socket(int ssl_error) {
    return ssl_error == SSL_ERROR_WANT_READ || ssl_error == SSL_ERROR_WANT_WRITE;
}

// The end of a wait of `timeout_us` from now; max() for no limit.
Clock::time_point deadline_after(std::int64_t timeout_us) {
    if (timeout_us < 0) return Clock::time_point::max();
    return Clock::now() + std::chrono::microseconds(timeout_us);
}

// Waits until `fd` is ready for what `ssl_error` asks for, or `deadline` passes, or `watch_fd`
// (0: none) hangs up or closes its sending side. An error or hang-up on `fd` counts as ready: the
// next SSL call reports it.
int wait_for_socket(int fd, int ssl_error, Clock::time_point deadline, int watch_fd) {
    pollfd fds[2] = {
        {fd, static_cast<short>(ssl_error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0},
        {watch_fd, POLLRDHUP, 0}};
    const nfds_t count = watch_fd > 0 ? 2 : 1;
    for (;;) {
        int timeout_ms = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) return kSocketTimeout;
            // Rounded up, so a wait never ends just short of its deadline and spins.
            timeout_ms =
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        const int ready = ::poll(fds, count, timeout_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return kSocketError;
        if (count == 2 && (fds[1].revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))) {
            return kSocketError;
        }
        if (fds[0].revents != 0) return kSocketDone;
        if (ready == 0) return kSocketTimeout;
    }
}

// The reason a failed handshake on `ssl` refused the peer's certificate, from the error it left
// in this thread's queue; empty when it failed for another reason.
std::string certificate_refusal(const SSL* ssl) {
    const unsigned long code = ERR_peek_last_error();
    if (ERR_GET_LIB(code) != ERR_LIB_SSL) return {};
    const int reason = ERR_GET_REASON(code);
    if (reason == SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE)
        return "peer did not return a certificate";
    if (reason != SSL_R_CERTIFICATE_VERIFY_FAILED) return {};
    return std::string("certificate verify failed (") +
           X509_verify_cert_error_string(SSL_get_verify_result(ssl)) + ")";
}

}  // namespace

struct SslLeg::Made {};

std::shared_ptr<SslLeg> SslLeg::create(const SslContext& context, int fd) {
    ERR_clear_error();
    SSL* ssl = SSL_new(context.get());
    if (ssl == nullptr) {
        ERR_clear_error();
        return nullptr;
    }
    auto leg = std::make_shared<SslLeg>(Made{}, ssl, fd, context.role());
    BIO* bio = make_socket_bio(fd);
    if (bio == nullptr) return nullptr;  // the leg frees the SSL object
    SSL_set_bio(ssl, bio, bio);          // one reference, owned by the SSL object now
    return leg;
}

SslLeg::~SslLeg() {
    SSL_free(ssl_);
}

template <typename Operation>
int SslLeg::call(Operation operation) {
    std::lock_guard guard(lock_);
    ERR_clear_error();  // SSL_get_error reads this thread's queue: start it empty
    const int result = operation(ssl_);
    if (result > 0) return SSL_ERROR_NONE;
    const int error = SSL_get_error(ssl_, result);
    if (!wants_socket(error)) {
        usable_ = false;    // no further alert may be sent after a failure
        ERR_clear_error();  // threads are reused: leave nothing behind
    }
    return error;
}

int SslLeg::handshake(std::int64_t limit_us, int watch_fd) {
    const auto deadline = deadline_after(limit_us);
    for (;;) {
        const int error = call([this](SSL* ssl) {
            const int result = role_ == SslRole::server ? SSL_accept(ssl) : SSL_connect(ssl);
            if (result == 1) usable_ = true;
            if (result <= 0) refusal_ = certificate_refusal(ssl);
            return result;
        });
        if (error == SSL_ERROR_NONE) return kSocketDone;
        if (!wants_socket(error)) return kSocketError;
        const int waited = wait_for_socket(fd_, error, deadline, watch_fd);
        if (waited != kSocketDone) return waited;
    }
}

int SslLeg::read(char* buffer, std::size_t& len, std::int64_t timeout_us) {
    const std::size_t room = len;
    len = 0;
    const auto deadline = deadline_after(timeout_us);
    for (;;) {
        std::size_t got = 0;
        const int error = call([&](SSL* ssl) { return SSL_read_ex(ssl, buffer, room, &got); });
        if (error == SSL_ERROR_NONE) {
            len = got;
            return kSocketDone;
        }
        // The peer's close alert, a cut connection and protocol errors all end the stream.
        if (!wants_socket(error)) return kSocketError;
        if (timeout_us == 0) return kSocketDone;
        const int waited = wait_for_socket(fd_, error, deadline, 0);
        if (waited == kSocketTimeout) return kSocketDone;  // nothing arrived in time
        if (waited != kSocketDone) return kSocketError;
    }
}

int SslLeg::write_all(const char* data, std::size_t len, std::int64_t wait_us) {
    std::size_t sent = 0;
    while (sent < len) {
        std::size_t wrote = 0;
        const int error =
            call([&](SSL* ssl) { return SSL_write_ex(ssl, data + sent, len - sent, &wrote); });
        if (error == SSL_ERROR_NONE) {
            sent += wrote;
            continue;
        }
        if (!wants_socket(error)) return kSocketError;
        // Each stall gets the whole write wait; one that outlasts it ends the stream.
        const int waited = wait_for_socket(fd_, error, deadline_after(wait_us), 0);
        if (waited != kSocketDone) return waited;
    }
    return kSocketDone;
}

void SslLeg::close_notify() {
    std::lock_guard guard(lock_);
    if (!usable_ || closed_) return;
    closed_ = true;
    ERR_clear_error();
    SSL_shutdown(ssl_);  // one try: a full socket buffer just means the peer misses the alert
    ERR_clear_error();
}

}  // namespace zk
