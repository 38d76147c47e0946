#pragma once
// What the tests with command-line peers (openssl, curl, stunnel) share: finding a tool on PATH
// and the test certificates those peers and the TLS mappings use.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "core/port_mapping.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace zk::test {

// True when `name` is an executable on PATH.
inline bool have_tool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// A certificate and its private key, PEM files.
struct CertificatePair {
    std::string certificate;
    std::string key;
};

// Two unrelated self-signed pairs made once per test binary with the openssl tool (P-256 keys,
// quick to make), in a directory removed at exit. Empty paths when openssl failed.
struct TestCertificates {
    CertificatePair first;
    CertificatePair second;
};

// `m` made one end of an SSL tunnel: "server" decrypts what its clients send, "client" encrypts
// towards its destination, each with `pair` as its certificate and key.
inline PortMapping with_tls(PortMapping m, const char* role, const CertificatePair& pair) {
    m.ssl_enable = "Y";
    m.ssl_type = role;
    if (std::string(role) == "server") {
        m.server_cer = pair.certificate;
        m.private_key = pair.key;
    } else {
        m.client_cer = pair.certificate;
        m.private_key_client = pair.key;
    }
    return m;
}

inline const TestCertificates& test_certificates() {
    static TempDir dir;
    static const TestCertificates certificates = [] {
        TestCertificates made;
        int n = 0;
        for (CertificatePair* pair : {&made.first, &made.second}) {
            const std::string tag = "pair" + std::to_string(++n);
            ChildProcess openssl(
                {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                 "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                 "-keyout", dir.file(tag + ".key"), "-out", dir.file(tag + ".crt")},
                dir.dir(), tag);
            if (openssl.wait(std::chrono::seconds(30)) == 0) {
                *pair = {dir.file(tag + ".crt"), dir.file(tag + ".key")};
            }
        }
        return made;
    }();
    return certificates;
}

}  // namespace zk::test
