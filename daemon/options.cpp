#include "daemon/options.h"

namespace zk {
namespace {

struct CertificateForm {
    const char* word;
    CertificateAction action;
    std::size_t count;      // how many arguments follow the word
    const char* arguments;  // as the usage names them
};

constexpr CertificateForm kCertificateForms[] = {
    {"key", CertificateAction::key, 1, "PATH"},
    {"request", CertificateAction::request, 2, "KEY CSR"},
    {"root", CertificateAction::root, 1, "NAME"},
    {"sign", CertificateAction::sign, 3, "CSR CER ROOTNAME"},
};

constexpr const char* kCertificateUsage =
    "--cert needs one of: key PATH, request KEY CSR, root NAME, sign CSR CER ROOTNAME";

// The certificate command at args[i] (its action word) and after; moves `i` to its last word.
std::optional<CertificateCommand> parse_certificate(const std::vector<std::string>& args,
                                                    std::size_t& i, std::string& error) {
    for (const CertificateForm& form : kCertificateForms) {
        if (i >= args.size() || args[i] != form.word) continue;
        const std::size_t count = form.count;
        if (args.size() - i - 1 < count) {
            error = std::string("--cert ") + form.word + " needs " + form.arguments;
            return std::nullopt;
        }
        CertificateCommand command{form.action,
                                   {args.begin() + static_cast<long>(i) + 1,
                                    args.begin() + static_cast<long>(i + count) + 1}};
        i += count;
        return command;
    }
    error = kCertificateUsage;
    return std::nullopt;
}

}  // namespace

std::optional<DaemonOptions> parse_daemon_options(const std::vector<std::string>& args,
                                                  std::string& error) {
    DaemonOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--home") {
            if (i + 1 == args.size()) {
                error = "--home needs a directory";
                return std::nullopt;
            }
            options.home = args[++i];
        } else if (a.rfind("--home=", 0) == 0) {
            options.home = a.substr(7);
        } else if (a == "--router") {
            options.command = DaemonCommand::router;
        } else if (a == "--gateway-search") {
            if (i + 1 == args.size()) {
                error = kGatewaySearchForm;
                return std::nullopt;
            }
            options.gateway_search = parse_gateway_search(args[++i], error);
            if (!options.gateway_search) return std::nullopt;
        } else if (a == "--cert") {
            options.certificate = parse_certificate(args, ++i, error);
            if (!options.certificate) return std::nullopt;
            options.command = DaemonCommand::certificate;
        } else if (a == "--check") {
            options.command = DaemonCommand::check;
        } else if (a == "--help" || a == "-h") {
            options.command = DaemonCommand::help;
        } else if (a == "--version") {
            options.command = DaemonCommand::version;
        } else {
            error = "unknown option: " + a;
            return std::nullopt;
        }
    }
    return options;
}

std::string daemon_usage() {
    return "Usage: zelkorad [--home DIR] [--check | --router [--gateway-search ADDRESS:PORT]]\n"
           "       zelkorad [--home DIR] --cert key PATH | request KEY CSR | root NAME |\n"
           "                                sign CSR CER ROOTNAME\n"
           "Runs the Zelkora port mappings and triggers of DIR/config.xml in the foreground.\n"
           "\n"
           "  --home DIR   program directory (default: $ZELKORA_HOME, else the executable's)\n"
           "  --check      load the configuration, list what it holds and exit\n"
           "               (exit 1 when the file is invalid)\n"
           "  --router     find the UPnP gateway, print its external address and its port\n"
           "               forwardings, one per line (exit 1 when that fails)\n"
           "  --gateway-search ADDRESS:PORT\n"
           "               send the router command's search to this IPv4 address and\n"
           "               port instead of the multicast group 239.255.255.250:1900\n"
           "  --cert key PATH\n"
           "               make a 2048-bit RSA private key\n"
           "  --cert request KEY CSR\n"
           "               make a certificate request for the private key KEY\n"
           "  --cert root NAME\n"
           "               make the root certificate DIR/CA/NAME.cer and its key DIR/CA/NAME.pem\n"
           "  --cert sign CSR CER ROOTNAME\n"
           "               sign the request CSR with the root ROOTNAME into the certificate CER\n"
           "               (each --cert command runs openssl from PATH with DIR/openssl.cnf,\n"
           "               shows its output and exits 1 when it fails)\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "SIGTERM, SIGINT and SIGHUP save config.xml and exit.\n";
}

std::string daemon_version() {
    return std::string("zelkorad ") + ZK_VERSION + "\n";
}

}  // namespace zk
