// zelkorad --cert: the certificate commands from the terminal, beside a running copy.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/child_process.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

// openssl makes an RSA key in well under a second; a loaded machine under a sanitizer is slower.
constexpr auto kCommandLimit = 60s;

class DaemonCertificate : public ::testing::Test {
protected:
    // Runs zelkorad --home with `args`; its exit status, with its output in `last`.
    int zelkorad(std::vector<std::string> args) {
        args.insert(args.begin(), {ZELKORAD, "--home", home});
        ChildProcess p(args, output.dir(), "cert" + std::to_string(++runs_));
        const int status = p.wait(kCommandLimit);
        last = p.out() + p.err();
        return status;
    }

    TempDir base;
    TempDir output;
    const std::string home = base.dir() + "zelkora home/";
    const std::string files = base.dir() + "my files/";
    std::string last;

private:
    int runs_ = 0;
};

TEST_F(DaemonCertificate, MakesARootAndASignedCertificateWhileACopyRuns) {
    ChildProcess daemon({ZELKORAD, "--home", home}, output.dir(), "daemon");
    ASSERT_TRUE(
        test::wait_for([&] { return std::filesystem::exists(home + "log/zk-gate.log"); }, 20s))
        << daemon.err();
    std::filesystem::create_directories(files);

    EXPECT_EQ(zelkorad({"--cert", "root", "ca"}), 0) << last;
    EXPECT_NE(last.find("openssl req -new -x509 -keyout \"" + home + "CA/ca.pem\""),
              std::string::npos)
        << last;
    EXPECT_EQ(zelkorad({"--cert", "key", files + "server.pem"}), 0) << last;
    EXPECT_EQ(zelkorad({"--cert", "request", files + "server.pem", files + "server.csr"}), 0)
        << last;
    EXPECT_EQ(zelkorad({"--cert", "sign", files + "server.csr", files + "server.cer", "ca"}), 0)
        << last;
    EXPECT_NE(last.find("openssl ca -in \"" + files + "server.csr\""), std::string::npos) << last;
    EXPECT_NE(last.find("Database updated"), std::string::npos) << last;

    ChildProcess verify({"openssl", "verify", "-CAfile", home + "CA/ca.cer", files + "server.cer"},
                        output.dir(), "verify");
    EXPECT_EQ(verify.wait(kCommandLimit), 0) << verify.out() << verify.err();
    EXPECT_EQ(verify.out(), files + "server.cer: OK\n");

    // The copy ran throughout; it ends as always.
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(60s), 0) << daemon.err();
}

TEST_F(DaemonCertificate, FailureShowsOpensslsWords) {
    EXPECT_EQ(zelkorad({"--cert", "sign", files + "none.csr", files + "none.cer", "ca"}), 1)
        << last;
    EXPECT_NE(last.find(files + "none.csr"), std::string::npos) << last;
    EXPECT_NE(last.find("No such file or directory"), std::string::npos) << last;
    EXPECT_NE(last.find("the certificate command failed"), std::string::npos) << last;
    EXPECT_FALSE(std::filesystem::exists(files + "none.cer"));
}

TEST_F(DaemonCertificate, BadUsageExitsWithTwoAndTheUsage) {
    struct Case {
        std::vector<std::string> args;
        const char* text;
    };
    const Case cases[] = {
        {{"--cert"}, "--cert needs one of: key PATH, request KEY CSR, root NAME, sign CSR CER"},
        {{"--cert", "renew", "x"}, "--cert needs one of"},
        {{"--cert", "key"}, "--cert key needs PATH"},
        {{"--cert", "request", "k.pem"}, "--cert request needs KEY CSR"},
        {{"--cert", "sign", "a.csr", "a.cer"}, "--cert sign needs CSR CER ROOTNAME"},
        {{"--cert", "root", "ca", "extra"}, "unknown option: extra"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += a + " ";
        EXPECT_EQ(zelkorad(c.args), 2) << shown;
        EXPECT_NE(last.find(c.text), std::string::npos) << shown << ": " << last;
        EXPECT_NE(last.find("Usage: zelkorad"), std::string::npos) << shown;
    }
    // Nothing was made for a command that was refused.
    EXPECT_FALSE(std::filesystem::exists(home));
}

}  // namespace
}  // namespace zk
