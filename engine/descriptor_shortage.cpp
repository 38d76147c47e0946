#include "engine/descriptor_shortage.h"

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "engine/event_log.h"

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;

// When the last shortage was seen, in Clock ticks; the minimum before the first.
std::atomic<std::int64_t> last_seen{Clock::duration::min().count()};

}  // namespace

bool note_descriptor_shortage(int error) {
    if (error != EMFILE && error != ENFILE) return false;
    const std::int64_t now = Clock::now().time_since_epoch().count();
    const std::int64_t before = last_seen.exchange(now);
    const auto quiet = std::chrono::duration_cast<Clock::duration>(kShortageQuiet).count();
    if (before == Clock::duration::min().count() || now - before > quiet) {
        log_event(
            "out of file descriptors (%s): new connections are closed until some are "
            "free.\n",
            error == EMFILE ? "process limit" : "system limit");
    }
    return true;
}

}  // namespace zk
