#pragma once
// Engine timings short enough for tests: stops, teardowns and listener checks take a fraction of
// a second instead of seconds.

#include <chrono>

#include "engine/engine.h"

namespace zk::test {

inline EngineTimings fast_timings() {
    EngineTimings t;
    t.stop_hold = std::chrono::milliseconds(300);
    t.teardown_pause = std::chrono::milliseconds(20);
    t.idle_step = std::chrono::milliseconds(50);
    return t;
}

}  // namespace zk::test
