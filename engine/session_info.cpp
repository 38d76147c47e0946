#include "engine/session_info.h"

#include <unistd.h>

namespace zk {

SessionInfo::~SessionInfo() {
    if (client_fd > 0) ::close(client_fd);
    if (destination_fd > 0) ::close(destination_fd);
}

}  // namespace zk
