#pragma once
// The desktop program's waits, shortened by the tests.

#include <chrono>

namespace zk {

struct DesktopTimings {
    std::chrono::milliseconds operating{4000};        // the "Operating..." window
    std::chrono::milliseconds tray_check{2000};       // how often the tray looks for traffic
    std::chrono::milliseconds tray_frame{500};        // one animation frame
    std::chrono::milliseconds tray_retry{20000};      // adding the icon again when it failed
    std::chrono::milliseconds balloon{10000};         // the "still running" balloon
    std::chrono::milliseconds log_follow{500};        // the log follower's look for new lines
    std::chrono::milliseconds traffic_sample{1000};   // one bar of the traffic charts
    std::chrono::milliseconds monitor_refresh{1000};  // the monitor's session table
};

}  // namespace zk
