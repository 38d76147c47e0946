#include "engine/session_info.h"

#include <unistd.h>

namespace zk {

SessionInfo::~SessionInfo() {
    client_leg.reset();  // an SSL leg still refers to its descriptor
    destination_leg.reset();
    if (client_fd > 0) ::close(client_fd);
    if (destination_fd > 0) ::close(destination_fd);
}

}  // namespace zk
