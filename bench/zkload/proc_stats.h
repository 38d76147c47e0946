#pragma once

#include <sys/types.h>

#include <optional>

namespace zk::bench {

// Resource use of a process and all its descendants (forking forwarders spread over many).
struct ProcSample {
    long long rss_kb = 0;       // sum of VmRSS: counts shared pages once per process
    long long pss_kb = 0;       // sum of Pss: shared pages split among the processes using them
    long long threads = 0;      // sum of Threads
    long long descriptors = 0;  // entries of /proc/PID/fd
    long long cpu_ticks = 0;    // sum of utime + stime, in clock ticks
    long long processes = 0;
};

std::optional<ProcSample> sample_process_tree(pid_t root);

// Clock ticks per second for cpu_ticks.
long long clock_ticks_per_second();

}  // namespace zk::bench
