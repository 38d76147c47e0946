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

// Two unrelated self-signed pairs. ctest makes them once per run (the test_certificates
// fixture) into ZK_TEST_CERTIFICATES; a binary run on its own makes them there when they are
// missing. Empty paths when they could not be made.
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
    static const TestCertificates certificates = [] {
        const std::string dir = ZK_TEST_CERTIFICATES "/";
        const auto pair = [&](const char* tag) {
            return CertificatePair{dir + tag + ".crt", dir + tag + ".key"};
        };
        const auto present = [&] {
            for (const CertificatePair& p : {pair("pair1"), pair("pair2")}) {
                if (::access(p.certificate.c_str(), R_OK) != 0 ||
                    ::access(p.key.c_str(), R_OK) != 0)
                    return false;
            }
            return true;
        };
        if (!present()) {
            TempDir output;
            ChildProcess make({"sh", ZK_SOURCE_DIR "/tests/support/make_certificates.sh", dir},
                              output.dir(), "make_certificates");
            make.wait(std::chrono::seconds(60));
        }
        return present() ? TestCertificates{pair("pair1"), pair("pair2")} : TestCertificates{};
    }();
    return certificates;
}

}  // namespace zk::test
