#pragma once

#include <netinet/in.h>

#include <chrono>
#include <optional>
#include <string_view>

#include "zkload/args.h"

namespace zk::bench {

// Each mode reads its own options and returns the process exit code: 0 when every figure was
// measured, 1 when the run failed, 2 for bad options.
int run_serve(Args& args);
int run_bulk(Args& args);
int run_latency(Args& args);
int run_connections(Args& args);
int run_idle(Args& args);
int run_first_request(Args& args);
int run_wait(Args& args);
int run_origin(Args& args);
int run_http(Args& args);
int run_udp_latency(Args& args);
int run_udp_flood(Args& args);
int run_config(Args& args);
int run_report(Args& args);

// The fixed response of `origin`, which `http` checks.
inline constexpr std::string_view http_origin_reply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n\r\nhello, proxy\n";

// Shared option handling of the client modes.
std::optional<sockaddr_in> target_option(Args& args);
std::chrono::milliseconds io_timeout_option(Args& args);
// Prints the problems of args to stderr; false when there were any.
bool args_ok(const Args& args);

}  // namespace zk::bench
