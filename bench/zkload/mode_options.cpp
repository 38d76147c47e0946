// Option handling shared by the modes.

#include <cstdio>
#include <string>

#include "zkload/modes.h"
#include "zkload/net.h"

namespace zk::bench {

std::optional<sockaddr_in> target_option(Args& args) {
    const std::string text = args.text("target", "");
    if (text.empty()) {
        std::fprintf(stderr, "--target 127.0.0.1:PORT is required\n");
        return std::nullopt;
    }
    std::string error;
    auto addr = parse_loopback(text, error);
    if (!addr) std::fprintf(stderr, "--target: %s\n", error.c_str());
    return addr;
}

std::chrono::milliseconds io_timeout_option(Args& args) {
    return std::chrono::milliseconds(args.number("io-timeout-ms", 5000, 1, 600000));
}

bool args_ok(const Args& args) {
    const std::string problems = args.problems();
    std::fputs(problems.c_str(), stderr);
    return problems.empty();
}

}  // namespace zk::bench
