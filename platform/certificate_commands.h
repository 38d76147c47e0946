#pragma once
// The certificate tool's commands: RSA keys, certificate requests, a root certificate and
// certificates signed by it, each made by running openssl (from PATH) with the program
// directory's openssl.cnf. Shared by the desktop SSL settings dialog and `zelkorad --cert`.

#include <string>

namespace zk {

enum class CertificateRole { server, client };

// What one openssl run did: whether it succeeded (exit 0 AND the output file now exists and is
// non-empty), the command line as shown to the user (argv joined, paths in double quotes), and
// what it printed (stdout and stderr together, at most 1 MiB kept), or the program's own words
// when it could not run, e.g. "openssl was not found: install the openssl package".
struct CertificateOutcome {
    bool succeeded = false;
    std::string command_line;
    std::string output;
};

// {dir} is the program directory, ending with '/'. Each runs openssl from PATH with stdin closed
// (/dev/null), waits for it, and returns. Callable from any thread; blocking (seconds).
CertificateOutcome create_private_key(const std::string& dir, const std::string& key);
// The request's subject names the key file (its base name), so certificates tell apart.
CertificateOutcome create_request(const std::string& dir, CertificateRole role,
                                  const std::string& key, const std::string& csr);
// Makes root_certificate_path() and root_key_path() of `name`, a plain file name.
CertificateOutcome create_root_certificate(const std::string& dir, const std::string& name);
// Runs in {dir}, where the CA/ database of openssl.cnf lies; relative paths are taken from the
// caller's working directory.
CertificateOutcome sign_certificate(const std::string& dir, const std::string& csr,
                                    const std::string& cer, const std::string& root_certificate,
                                    const std::string& root_key);

// Where create_root_certificate puts the root `name`: dir + "CA/" + name + ".cer" and ".pem".
std::string root_certificate_path(const std::string& dir, const std::string& name);
std::string root_key_path(const std::string& dir, const std::string& name);

}  // namespace zk
