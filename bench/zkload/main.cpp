// zkload: loopback servers and load clients for comparing forwarders. The target of every
// client mode is a parameter, so the same figures are measured directly and through a forwarder.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "zkload/modes.h"
#include "zkload/net.h"

namespace {

constexpr const char* usage =
    "Usage: zkload MODE [--option value]...\n"
    "Every figure is printed as key=value on stdout. Targets are loopback only.\n"
    "\n"
    "  serve  --echo-port P --bulk-port Q [--udp-echo-port R] [--udp-sink-port S] [--threads 2]\n"
    "         [--max-seconds 3600]\n"
    "         echo server and bulk sink/source on 127.0.0.1 until SIGTERM or the time limit,\n"
    "         optionally a UDP echo and a UDP sink that counts datagrams\n"
    "  bulk   --target A [--conns 1] [--seconds 3] [--direction up|down] [--max-mb 100000]\n"
    "         throughput to a bulk port: mbps (10^6 bytes/s received at the far end)\n"
    "  rr     --target A [--count 20000] [--warmup 500] [--size 32] [--seconds 10]\n"
    "         request/response on one connection to an echo port: p50_us p99_us\n"
    "  cps    --target A [--count 20000] [--parallel 4] [--size 32] [--seconds 3]\n"
    "         connect, request, reply, close: cps, connect-to-first-byte p50_us p99_us\n"
    "  idle   --target A [--sessions 1000] [--pid PID] [--settle-ms 500] [--idle-seconds 3]\n"
    "         hold sessions to an echo port; RSS, threads and idle CPU of PID and its children\n"
    "  wait   --target A [--request TEXT] [--timeout-ms 10000] [--udp 0|1]\n"
    "         poll until a request gets a reply: ready_ms (a bulk port answers PPPPPPPPP,\n"
    "         a UDP sink ?count)\n"
    "  first_request --target A [--request TEXT] [--timeout-ms 10000] [--log FILE] -- CMD...\n"
    "         start CMD, time its first accepted connection and first reply, stop it\n"
    "  origin --port P [--threads 2] [--max-seconds 3600]\n"
    "         HTTP origin on 127.0.0.1: one fixed response per connection, then close\n"
    "  http   --target A [--via-proxy-to B] [--count 20000] [--parallel 4] [--seconds 3]\n"
    "         one request per connection, to an origin or through a proxy to origin B: rps,\n"
    "         request p50_us p99_us\n"
    "  udp_rr --target A [--count 20000] [--warmup 500] [--size 32] [--seconds 10]\n"
    "         [--reply-timeout-ms 200]\n"
    "         UDP request/response on one socket to a UDP echo: p50_us p99_us lost\n"
    "  udp_flood --target A [--sink B] [--seconds 3] [--count N] [--sockets 4] [--size 64]\n"
    "         [--rate 0 (as fast as possible)]\n"
    "         datagrams to a UDP sink (B, asked directly; A by default): sent delivered\n"
    "         delivered_per_s loss_pct\n"
    "  config --out DIR --mapping "
    "NAME,KIND,LISTEN_PORT[,DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]]...\n"
    "         DIR/config.xml for zelkorad --home DIR, written by the program's own writer;\n"
    "         KIND TCP, UDP or PROXY (no destination), SSL_TYPE client or server; repeatable\n"
    "  report --results FILE\n"
    "         the comparison table from compare.sh's results.tsv: median, min-max, ratios\n"
    "\n"
    "Client modes also take --io-timeout-ms (5000): the limit of any single socket wait.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    zk::bench::raise_fd_limit();
    std::string error;
    auto args = zk::bench::Args::parse(argc, argv, 2, error);
    if (!args) {
        std::fprintf(stderr, "zkload: %s\n", error.c_str());
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "serve") return zk::bench::run_serve(*args);
    if (mode == "bulk") return zk::bench::run_bulk(*args);
    if (mode == "rr") return zk::bench::run_latency(*args);
    if (mode == "cps") return zk::bench::run_connections(*args);
    if (mode == "idle") return zk::bench::run_idle(*args);
    if (mode == "wait") return zk::bench::run_wait(*args);
    if (mode == "first_request") return zk::bench::run_first_request(*args);
    if (mode == "origin") return zk::bench::run_origin(*args);
    if (mode == "http") return zk::bench::run_http(*args);
    if (mode == "udp_rr") return zk::bench::run_udp_latency(*args);
    if (mode == "udp_flood") return zk::bench::run_udp_flood(*args);
    if (mode == "config") return zk::bench::run_config(*args);
    if (mode == "report") return zk::bench::run_report(*args);
    std::fprintf(stderr, "zkload: unknown mode %s\n%s", mode.c_str(), usage);
    return 2;
}
