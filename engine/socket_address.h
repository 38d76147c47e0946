#pragma once
// Conversions between dotted IPv4 text with a host-order port and sockaddr_in, shared by the
// socket primitives. Internal to the engine.

#include <netinet/in.h>

#include <string>

namespace zk {

// False with errno EINVAL, and no system call, for a null or empty address, a text that is no
// IPv4 address or a port outside 0 to 65535. Accepts what inet_aton accepts ("127.1" too), as
// addresses typed by users always have been.
bool make_socket_address(const char* address, int port, sockaddr_in& out);

// The dotted address and host-order port of `address`.
void read_socket_address(const sockaddr_in& address, std::string& dotted, int& port);

}  // namespace zk
