#pragma once
// Command line of zelkorad.

#include <optional>
#include <string>
#include <vector>

#include "upnp/gateway_search.h"

namespace zk {

enum class DaemonCommand { run, check, router, certificate, help, version };

// `--cert ACTION ARGUMENTS...`: one certificate command, with its file paths (or root name) in
// the order the usage gives them.
enum class CertificateAction { key, request, root, sign };
struct CertificateCommand {
    CertificateAction action = CertificateAction::key;
    std::vector<std::string> arguments;
};

struct DaemonOptions {
    DaemonCommand command = DaemonCommand::run;
    std::optional<std::string> home;
    std::optional<GatewaySearch> gateway_search;
    std::optional<CertificateCommand> certificate;
};

// Parses the arguments after the program name; on a fault returns nothing and sets `error`.
std::optional<DaemonOptions> parse_daemon_options(const std::vector<std::string>& args,
                                                  std::string& error);

std::string daemon_usage();
std::string daemon_version();

}  // namespace zk
