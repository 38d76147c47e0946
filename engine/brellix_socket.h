#pragma once
// The brellix_socket_ family: every socket operation of the engine, the triggers and the web
// server, on IPv4 POSIX sockets.
//
// Results: kSocketDone (0), kSocketTimeout (258: the wait ran out) or kSocketError (-1; errno
// tells why and stays readable after the call). Time-outs are microseconds: negative waits
// without limit, 0 does not wait at all. In/out lengths hold the buffer size (or the bytes to
// send) on entry and the bytes moved on return, 0 after any failure.
//
// A socket is an int; 0 means "no socket" in the engine's fields, so no function here ever hands
// out descriptor 0, and closing 0 is refused.
//
// Single transfers retry interrupted calls. When one would block and the time-out is not 0, it
// waits for the socket with that time-out and tries once more; a wait that ran out gives 258 and
// leaves errno at the would-block value.
//
// Threading: every function may be called from any thread on different sockets. To stop a
// thread blocked on a socket, use socket_shutdown_field, never a plain close.

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zk {

inline constexpr int kSocketDone = 0;
inline constexpr int kSocketTimeout = 258;
inline constexpr int kSocketError = -1;

// --- Creation and set-up (0 / -1; out sockets are 0 after a failure) ---

int brellix_socket_tcp_create(int& sock);  // IPv4 stream socket, blocking, close-on-exec
int brellix_socket_udp_create(int& sock);  // IPv4 datagram socket, unbound
int brellix_socket_close(int sock);        // -1 (EBADF) for 0 or a negative number
// Datagram socket bound to 0.0.0.0:port (0 picks a free port).
int brellix_socket_udp_bind(int& sock, int port);
// Stream socket with SO_REUSEADDR, bound to 0.0.0.0:port and listening; closed again on failure.
int brellix_socket_tcp_listen(int& sock, int port, int backlog);
// `block` not 0: blocking mode; 0: non-blocking mode.
int brellix_socket_set_block(int sock, int block);
// Connects to the dotted address and port. A null or empty address fails with EINVAL without
// trying; so does a port outside 0 to 65535 or a text that is no address.
int brellix_socket_connect(int sock, const char* address, int port);
// Waits until the socket is readable (`for_read` not 0) or writable. An error or hang-up on the
// socket counts as ready, so the next transfer reports it. An interrupted wait starts again with
// the full time-out. 0 ready, 258 ran out, -1 error.
int brellix_socket_wait(int sock, int for_read, std::int64_t timeout_us);

// --- Single transfers (retry rule above) ---

// One send, without SIGPIPE on a closed peer.
int brellix_socket_send(int sock, const void* data, std::size_t& len, std::int64_t timeout_us);
// One datagram to address:port.
int brellix_socket_udp_send(int sock, const void* data, std::size_t& len, std::int64_t timeout_us,
                            const char* address, int port);
// The same to an address already in socket form: nothing to parse per datagram.
int brellix_socket_udp_send_to(int sock, const void* data, std::size_t& len,
                               std::int64_t timeout_us, const sockaddr_in& peer);
// One receive. The peer's orderly close gives -1 with length 0 and errno 0.
int brellix_socket_recv(int sock, void* buf, std::size_t& len, std::int64_t timeout_us);

// --- Loops: each call gets the full time-out; they stop at the first non-zero result ---
//
// For the send loops 258 means the transfer STALLED: only `*total` of the `len` bytes went out and
// the rest never will. It is not success: a byte stream with a hole in it is corrupt, so a relay
// that sees 258 here must end its session. `total` (if not null) always receives the bytes moved.

// Sends all `len` bytes; a length of 0 performs exactly one send of zero bytes.
int brellix_socket_send_all(int sock, const void* data, std::size_t len, std::size_t* total,
                            std::int64_t timeout_us);
// Sends the datagram (a length of 0 sends one empty datagram).
int brellix_socket_udp_send_all(int sock, const void* data, std::size_t len, std::size_t* total,
                                std::int64_t timeout_us, const char* address, int port);

// What a failed accept() means for a listener: nothing was pending; a passing error about one
// connection or the moment (go on); descriptors or memory ran out (wait a little, go on); or
// the listening socket itself is broken (end the listener).
enum class AcceptFailure { nothing_pending, transient, out_of_descriptors, broken };
AcceptFailure accept_failure(int error);

// --- Names and descriptors ---

// Looks `name` up (getaddrinfo, IPv4, thread-safe); 0 with the first address in dotted form,
// -1 when the name is empty or has no IPv4 address.
int resolve_host(const char* name, std::string& address);

// Takes the socket out of a field that other threads may be blocked on: exchanges it with 0 and
// shuts it down both ways, which wakes every thread blocked on it with a failure. Returns the
// descriptor, which the caller closes only once no thread can still pass that number to a system
// call (at reaping or teardown); closing at once could let a new socket reuse the number under a
// thread still using it. Returns 0 when the field held none.
int socket_shutdown_field(std::atomic<int>& field);

// Returns `fd` unchanged unless it is 0: then the descriptor moves to a number above 0 and 0 is
// pointed at /dev/null, so it never comes back. For descriptors from accept() or the like, which
// the engine would otherwise take for "no socket". -1 (descriptor closed) when it cannot move.
int socket_keep_off_zero(int fd);

}  // namespace zk
