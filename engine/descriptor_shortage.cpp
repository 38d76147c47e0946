#include "engine/descriptor_shortage.h"

#include <atomic>
#include <cerrno>

#include "engine/event_log.h"

namespace zk {
namespace {

std::atomic<bool> episode{false};

}  // namespace

bool note_descriptor_shortage(int error) {
    if (error != EMFILE && error != ENFILE) return false;
    if (!episode.exchange(true)) {
        log_event(
            "out of file descriptors (%s): new connections are closed until some are "
            "free.\n",
            error == EMFILE ? "process limit" : "system limit");
    }
    return true;
}

void descriptor_shortage_over() {
    if (episode.load(std::memory_order_relaxed)) episode = false;
}

}  // namespace zk
