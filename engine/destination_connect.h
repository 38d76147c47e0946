#pragma once
// Connecting a session's destination socket. Internal to the engine; session threads only.

#include <string>

namespace zk {

// A fresh non-blocking TCP socket connected to ip:port, or 0. Gives up early when `client_fd`
// hangs up (the client left, or the teardown shut the session down).
int connect_destination(const std::string& ip, int port, int client_fd);

}  // namespace zk
