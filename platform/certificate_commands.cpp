#include "platform/certificate_commands.h"

#include <cstddef>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/process_runner.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr std::size_t kMaxOutput = 1 << 20;
constexpr const char* kKeyBits = "2048";
constexpr const char* kValidityDays = "3650";
// openssl.cnf builds every subject from these two; it has defaults for runs without them.
constexpr const char* kCommonNameVariable = "ZELKORA_CERT_CN";
constexpr const char* kUnitVariable = "ZELKORA_CERT_OU";
// The root's unit differs from every leaf's, so a leaf's issuer never equals its own subject
// (which would make it read as self-signed) even when the names match.
constexpr const char* kRootUnit = "Zelkora Root CA";
constexpr const char* kServerUnit = "Zelkora server";
constexpr const char* kClientUnit = "Zelkora client";
// The longest common name a certificate may carry, in characters; openssl refuses longer ones.
constexpr std::size_t kMaxCommonName = 64;

// One argument of an openssl command line: a word as it is, or a path, shown in double quotes.
struct Argument {
    Argument(const char* word) : text(word) {}  // words are written plainly in the lists below
    Argument(std::string path_text, bool is_path) : text(std::move(path_text)), path(is_path) {}
    std::string text;
    bool path = false;
};

Argument path(const std::string& text) {
    return {text, true};
}

std::string shown(const std::vector<Argument>& args) {
    std::string line = "openssl";
    for (const Argument& a : args) {
        line += ' ';
        line += a.path ? '"' + a.text + '"' : a.text;
    }
    return line;
}

// `name` cut to whole UTF-8 characters that fit a common name; "Zelkora" when it is empty
// (openssl refuses an empty one).
std::string common_name(const std::string& name) {
    std::size_t characters = 0;
    std::size_t end = 0;
    for (; end < name.size(); ++end) {
        const bool starts_character = (static_cast<unsigned char>(name[end]) & 0xC0) != 0x80;
        if (starts_character && characters++ == kMaxCommonName) break;
    }
    return end == 0 ? "Zelkora" : name.substr(0, end);
}

// `path` made absolute against the caller's working directory; as it is when that fails.
std::string absolute(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    return error ? path : full.string();
}

void add_line(std::string& output, const std::string& line) {
    if (!output.empty() && output.back() != '\n') output += '\n';
    output += line + '\n';
}

// Runs openssl with `args` and judges the run by its exit status and by `made`, the file the
// command is to write.
CertificateOutcome run_openssl(const std::vector<Argument>& args, const std::string& made,
                               const std::string& working_dir = {},
                               const Environment& environment = {}) {
    CertificateOutcome outcome{false, shown(args), {}};
    std::vector<std::string> argv{"openssl"};
    for (const Argument& a : args)
        argv.push_back(a.text);
    CapturedRun run = run_captured(argv, working_dir, kMaxOutput, environment);
    if (run.start == RunStart::program_missing) {
        outcome.output = "openssl was not found: install the openssl package";
        return outcome;
    }
    outcome.output = std::move(run.output);
    if (run.start != RunStart::started) return outcome;

    std::error_code error;
    const bool written = fs::is_regular_file(made, error) && fs::file_size(made, error) > 0;
    if (run.exit_status < 0) {
        add_line(outcome.output, "openssl did not end normally");
    } else if (run.exit_status != 0) {
        add_line(outcome.output,
                 "openssl failed with exit status " + std::to_string(run.exit_status));
    } else if (!written) {
        add_line(outcome.output, "openssl made no " + made);
    }
    outcome.succeeded = run.exit_status == 0 && written;
    return outcome;
}

}  // namespace

CertificateOutcome create_private_key(const std::string& /*dir*/, const std::string& key) {
    return run_openssl({"genrsa", "-out", path(key), kKeyBits}, key);
}

CertificateOutcome create_request(const std::string& dir, CertificateRole role,
                                  const std::string& key, const std::string& csr) {
    const Environment subject{
        {kCommonNameVariable, common_name(fs::path(key).stem().string())},
        {kUnitVariable, role == CertificateRole::server ? kServerUnit : kClientUnit}};
    const Argument config = path(dir + "openssl.cnf");
    // The two roles have always listed the same arguments in different orders.
    if (role == CertificateRole::server) {
        return run_openssl({"req", "-new", "-key", path(key), "-out", path(csr), "-config", config,
                            "-days", kValidityDays},
                           csr, {}, subject);
    }
    return run_openssl({"req", "-config", config, "-new", "-key", path(key), "-out", path(csr),
                        "-days", kValidityDays},
                       csr, {}, subject);
}

CertificateOutcome create_root_certificate(const std::string& dir, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return {false, {}, "the root certificate name must be a plain file name, such as ca\n"};
    }
    const Environment subject{{kCommonNameVariable, common_name(name)}, {kUnitVariable, kRootUnit}};
    const std::string certificate = root_certificate_path(dir, name);
    return run_openssl(
        {"req", "-new", "-x509", "-keyout", path(root_key_path(dir, name)), "-out",
         path(certificate), "-config", path(dir + "openssl.cnf"), "-days", kValidityDays},
        certificate, {}, subject);
}

CertificateOutcome sign_certificate(const std::string& dir, const std::string& csr,
                                    const std::string& cer, const std::string& root_certificate,
                                    const std::string& root_key) {
    const std::string home = absolute(dir);
    const std::string output = absolute(cer);
    // -batch answers the two questions `ca` asks before it signs and writes its database
    // ("Sign the certificate?", "commit?"): with stdin closed it would read no answer and sign
    // nothing.
    return run_openssl({"ca", "-in", path(absolute(csr)), "-out", path(output), "-cert",
                        path(absolute(root_certificate)), "-keyfile", path(absolute(root_key)),
                        "-config", path(home + "openssl.cnf"), "-days", kValidityDays, "-batch"},
                       output, home);
}

std::string root_certificate_path(const std::string& dir, const std::string& name) {
    return dir + "CA/" + name + ".cer";
}

std::string root_key_path(const std::string& dir, const std::string& name) {
    return dir + "CA/" + name + ".pem";
}

}  // namespace zk
