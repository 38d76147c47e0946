#pragma once
// A side of a TCP session that speaks TLS: the client side of a server-mode mapping or the
// destination side of a client-mode one. The relays read and write plain bytes through it.
//
// Threading: the session thread runs the handshake alone; then the two relay threads use the
// leg at once, one reading and one writing. Every call on the SSL object is made under one lock,
// and no thread holds that lock while it waits for the socket: the socket is non-blocking, a call
// that would block returns WANT_READ or WANT_WRITE, the thread waits outside the lock and calls
// again. Internal to the engine.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ssl_context.h"
#include "engine/stream_leg.h"

typedef struct ssl_st SSL;

namespace zk {

class SslLeg : public StreamLeg {
public:
    // A TLS connection of `context`'s role over the non-blocking socket `fd`, which stays the
    // caller's to close (after the leg is gone); null when OpenSSL cannot make one.
    static std::shared_ptr<SslLeg> create(const SslContext& context, int fd);

    struct Made;  // only create() makes legs
    SslLeg(const Made&, SSL* ssl, int fd, SslRole role) : ssl_(ssl), fd_(fd), role_(role) {}
    ~SslLeg() override;
    SslLeg(const SslLeg&) = delete;
    SslLeg& operator=(const SslLeg&) = delete;

    // Runs the handshake of the leg's role. 0 when done; 258 when it has not completed within
    // `limit_us` (negative: no limit); -1 when it failed or `watch_fd` (0: none) hung up or closed
    // its sending side, which
    // is how a session being torn down stops a client handshake on its destination.
    int handshake(std::int64_t limit_us, int watch_fd = 0);

    // Why this end refused its peer's certificate, e.g. "certificate verify failed (unable to
    // get local issuer certificate)"; empty unless the handshake failed for that reason. Read
    // after handshake() on the same thread.
    const std::string& refusal() const { return refusal_; }

    int read(char* buffer, std::size_t& len, std::int64_t timeout_us) override;
    int write_all(const char* data, std::size_t len, std::int64_t wait_us) override;

    // Sends the close alert once, without waiting, so the peer can tell the end of the stream
    // from a cut connection (TLS clients report an unannounced end as an error). Does nothing
    // before the handshake completed or after the connection failed.
    void close_notify() override;

private:
    // Runs `operation` on the SSL object under the lock: SSL_ERROR_NONE when it succeeded,
    // otherwise what SSL_get_error says about it.
    template <typename Operation>
    int call(Operation operation);

    std::mutex lock_;
    SSL* const ssl_;       // used only under lock_
    bool usable_ = false;  // handshake done and no failure since; guarded by lock_
    bool closed_ = false;  // close alert sent; guarded by lock_
    std::string refusal_;  // set by the handshake only, before the relays start
    const int fd_;
    const SslRole role_;
};

}  // namespace zk
