#pragma once
// An OpenSSL BIO over a socket descriptor that sends with MSG_NOSIGNAL: OpenSSL's own socket BIO
// writes with write(), which raises SIGPIPE when the peer has gone. Internal to the engine.

typedef struct bio_st BIO;

namespace zk {

// A BIO over `fd` that never closes it; null when OpenSSL cannot make one. Would-block results
// set the BIO's retry flags, so SSL calls on a non-blocking socket report WANT_READ/WANT_WRITE.
BIO* make_socket_bio(int fd);

}  // namespace zk
