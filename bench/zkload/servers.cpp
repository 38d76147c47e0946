// The loopback servers every measurement talks to, directly or through a forwarder.

#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "zkload/modes.h"
#include "zkload/server_loop.h"
#include "zkload/udp.h"

namespace zk::bench {

namespace {

std::atomic<bool> g_stop{false};

void on_stop_signal(int) {
    g_stop.store(true);
}

}  // namespace

int run_serve(Args& args) {
    const auto echo_port = static_cast<std::uint16_t>(args.number("echo-port", 0, 1, 65535));
    const auto bulk_port = static_cast<std::uint16_t>(args.number("bulk-port", 0, 1, 65535));
    const auto udp_echo_port =
        static_cast<std::uint16_t>(args.number("udp-echo-port", 0, 0, 65535));
    const auto udp_sink_port =
        static_cast<std::uint16_t>(args.number("udp-sink-port", 0, 0, 65535));
    const int threads = static_cast<int>(args.number("threads", 2, 1, 64));
    const long long max_seconds = args.number("max-seconds", 3600, 1, 86400);
    if (!args_ok(args)) return 2;
    if (echo_port == 0 || bulk_port == 0 || echo_port == bulk_port) {
        std::fprintf(stderr, "serve needs two different ports: --echo-port and --bulk-port\n");
        return 2;
    }
    if (udp_echo_port != 0 && udp_echo_port == udp_sink_port) {
        std::fprintf(stderr,
                     "serve needs two different ports: --udp-echo-port and --udp-sink-port\n");
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every loop has its own pair of SO_REUSEPORT listeners; the kernel spreads connections.
    std::vector<std::unique_ptr<ServerLoop>> loops;
    for (int i = 0; i < threads; ++i) {
        std::string error;
        Fd echo = open_listener(echo_port, error);
        Fd bulk = echo.valid() ? open_listener(bulk_port, error) : Fd();
        if (!bulk.valid()) {
            std::fprintf(stderr, "zkload serve: %s\n", error.c_str());
            return 1;
        }
        loops.push_back(std::make_unique<ServerLoop>(std::move(echo), std::move(bulk)));
    }
    // UDP servers on their own threads, each only when its port is given.
    Fd udp_echo;
    Fd udp_sink;
    for (auto [port, fd] :
         {std::pair{udp_echo_port, &udp_echo}, std::pair{udp_sink_port, &udp_sink}}) {
        std::string error;
        if (port != 0 && !(*fd = open_udp_server(port, error)).valid()) {
            std::fprintf(stderr, "zkload serve: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("ready echo=127.0.0.1:%u bulk=127.0.0.1:%u udp-echo=%u udp-sink=%u threads=%d\n",
                echo_port, bulk_port, udp_echo_port, udp_sink_port, threads);
    std::fflush(stdout);

    const auto deadline = Clock::now() + std::chrono::seconds(max_seconds);
    std::vector<std::thread> workers;
    for (auto& loop : loops) {
        workers.emplace_back([&loop, deadline] { loop->run(g_stop, deadline); });
    }
    if (udp_echo.valid()) {
        workers.emplace_back([fd = std::move(udp_echo), deadline]() mutable {
            run_udp_echo(std::move(fd), g_stop, deadline);
        });
    }
    if (udp_sink.valid()) {
        workers.emplace_back([fd = std::move(udp_sink), deadline]() mutable {
            run_udp_sink(std::move(fd), g_stop, deadline);
        });
    }
    for (auto& w : workers)
        w.join();
    return 0;
}

}  // namespace zk::bench
