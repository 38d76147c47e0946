// Idle sessions: open N connections, exchange one message on each, hold them, and read the
// forwarder's memory, threads and CPU from /proc while they sit idle.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"
#include "zkload/proc_stats.h"
#include "zkload/stats.h"

namespace zk::bench {

namespace {

bool exchange(int fd, std::string& reply, const std::string& request) {
    return send_all(fd, request.data(), request.size()) &&
           recv_exact(fd, reply.data(), reply.size()) && reply == request;
}

std::optional<ProcSample> sample_if(pid_t pid) {
    if (pid == 0) return std::nullopt;
    return sample_process_tree(pid);
}

}  // namespace

int run_idle(Args& args) {
    const auto target = target_option(args);
    const long long sessions = args.number("sessions", 1000, 1, 100000);
    const auto pid = static_cast<pid_t>(args.number("pid", 0, 0, 1LL << 30));
    const long long settle_ms = args.number("settle-ms", 500, 0, 60000);
    const double idle_seconds = args.real("idle-seconds", 3.0, 0.1, 600.0);
    const double seconds = args.real("seconds", 60.0, 0.1, 3600.0);
    const auto io_timeout = io_timeout_option(args);
    if (!args_ok(args) || !target) return 2;
    if (pid != 0 && !sample_process_tree(pid)) {
        std::fprintf(stderr, "zkload idle: no process %d\n", static_cast<int>(pid));
        return 2;
    }

    const auto before = sample_if(pid);
    const auto deadline = after_seconds(Clock::now(), seconds);
    const std::string request(16, 'i');
    std::string reply(request.size(), '\0');
    std::vector<Fd> held;
    held.reserve(static_cast<std::size_t>(sessions));
    std::string failure;
    while (static_cast<long long>(held.size()) < sessions) {
        if (Clock::now() >= deadline) {
            failure = "time limit reached";
            break;
        }
        Fd fd = open_connection(*target, io_timeout);
        if (!fd.valid() || !exchange(fd.get(), reply, request)) {
            failure = std::strerror(errno);
            break;
        }
        held.push_back(std::move(fd));
    }
    const auto opened = static_cast<long long>(held.size());
    print_count("sessions", opened);
    if (opened < sessions) {
        std::fprintf(stderr, "zkload idle: session %lld of %lld failed: %s\n", opened + 1, sessions,
                     failure.c_str());
    }

    sleep_for_ms(settle_ms);  // let the forwarder finish setting up the last sessions
    const auto after = sample_if(pid);
    const auto idle_start = Clock::now();
    sleep_for_ms(static_cast<long long>(idle_seconds * 1000));
    const auto idle_end = sample_if(pid);
    const double idle_wall = seconds_between(idle_start, Clock::now());

    long long alive = 0;
    for (auto& fd : held)
        alive += exchange(fd.get(), reply, request) ? 1 : 0;
    print_count("alive", alive);

    if (before && after && idle_end) {
        print_count("rss_before_kb", before->rss_kb);
        print_count("rss_after_kb", after->rss_kb);
        if (opened > 0) {
            print_figure("rss_per_session_kb", static_cast<double>(after->rss_kb - before->rss_kb) /
                                                   static_cast<double>(opened));
        }
        print_count("pss_before_kb", before->pss_kb);
        print_count("pss_after_kb", after->pss_kb);
        if (opened > 0) {
            print_figure("pss_per_session_kb", static_cast<double>(after->pss_kb - before->pss_kb) /
                                                   static_cast<double>(opened));
        }
        if (opened > 0) {
            print_figure("descriptors_per_session",
                         static_cast<double>(after->descriptors - before->descriptors) /
                             static_cast<double>(opened));
        }
        print_count("threads_before", before->threads);
        print_count("threads_after", after->threads);
        print_count("processes_after", after->processes);
        const double cpu_seconds = static_cast<double>(idle_end->cpu_ticks - after->cpu_ticks) /
                                   static_cast<double>(clock_ticks_per_second());
        print_figure("idle_cpu_pct", 100.0 * cpu_seconds / idle_wall);
    } else if (pid != 0) {
        std::fprintf(stderr, "zkload idle: process %d went away\n", static_cast<int>(pid));
        return 1;
    }
    return opened == sessions && alive == opened ? 0 : 1;
}

}  // namespace zk::bench
