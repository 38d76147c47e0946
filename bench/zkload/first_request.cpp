// How soon a program answers: "wait" polls a port until a request gets a reply; "first_request"
// starts a program first and times its first connection and first reply, then stops it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zkload/modes.h"
#include "zkload/net.h"
#include "zkload/stats.h"
#include "zkload/udp.h"

extern char** environ;

namespace zk::bench {

namespace {

struct Probe {
    bool connected = false;
    bool replied = false;
};

// One attempt: connect, send the request, wait (until the deadline) for the first reply byte.
Probe probe_once(const sockaddr_in& target, const std::string& request,
                 Clock::time_point deadline) {
    Probe p;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return p;
    Fd fd = open_connection(target, left);
    if (!fd.valid()) return p;
    p.connected = true;
    if (!send_all(fd.get(), request.data(), request.size())) return p;
    char byte = 0;
    ssize_t n = 0;
    do {
        n = ::recv(fd.get(), &byte, 1, 0);
    } while (n < 0 && errno == EINTR);
    p.replied = n == 1;
    return p;
}

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// SIGTERM, a grace period, then SIGKILL: only ever the child this tool started.
int stop_child(pid_t pid, long long grace_ms) {
    int status = 0;
    kill(pid, SIGTERM);
    const auto until = Clock::now() + std::chrono::milliseconds(grace_ms);
    while (Clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        sleep_for_ms(5);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace

int run_wait(Args& args) {
    const auto target = target_option(args);
    const std::string request = unescape(args.text("request", "ping\\n"));
    const long long timeout_ms = args.number("timeout-ms", 10000, 1, 600000);
    const bool udp = args.number("udp", 0, 0, 1) == 1;
    if (!args_ok(args) || !target) return 2;
    const auto t0 = Clock::now();
    const auto deadline = t0 + std::chrono::milliseconds(timeout_ms);
    if (udp && udp_probe(*target, request, deadline)) {
        print_figure("ready_ms", ms_since(t0));
        return 0;
    }
    for (long long attempt = 1; !udp && Clock::now() < deadline; ++attempt) {
        if (probe_once(*target, request, deadline).replied) {
            print_figure("ready_ms", ms_since(t0));
            print_count("attempts", attempt);
            return 0;
        }
        sleep_for_ms(2);
    }
    std::fprintf(stderr, "zkload wait: no reply from %s within %lld ms\n", to_text(*target).c_str(),
                 timeout_ms);
    return 1;
}

int run_first_request(Args& args) {
    const auto target = target_option(args);
    const std::string request = unescape(args.text("request", "ping\\n"));
    const long long timeout_ms = args.number("timeout-ms", 10000, 1, 600000);
    const long long grace_ms = args.number("stop-ms", 5000, 0, 60000);
    const std::string log = args.text("log", "/dev/null");
    if (!args_ok(args) || !target) return 2;
    if (args.command().empty()) {
        std::fprintf(stderr, "first_request needs the program to start after --\n");
        return 2;
    }

    std::vector<char*> argv;
    for (const auto& a : args.command())
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "zkload first_request: cannot start %s: %s\n", argv[0],
                     std::strerror(spawned));
        return 1;
    }

    const auto deadline = t0 + std::chrono::milliseconds(timeout_ms);
    double connect_ms = -1;
    double reply_ms = -1;
    long long attempt = 0;
    bool exited = false;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        ++attempt;
        const Probe p = probe_once(*target, request, deadline);
        if (p.connected && connect_ms < 0) connect_ms = ms_since(t0);
        if (p.replied) {
            reply_ms = ms_since(t0);
            break;
        }
        sleep_for_ms(1);
    }
    if (!exited) stop_child(pid, grace_ms);

    if (reply_ms < 0) {
        if (exited) {
            std::fprintf(stderr, "zkload first_request: %s exited before answering\n", argv[0]);
        } else {
            std::fprintf(stderr, "zkload first_request: %s gave no reply within %lld ms\n", argv[0],
                         timeout_ms);
        }
        return 1;
    }
    print_figure("connect_ms", connect_ms);
    print_figure("first_reply_ms", reply_ms);
    print_count("attempts", attempt);
    return 0;
}

}  // namespace zk::bench
