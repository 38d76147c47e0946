// The certificate commands with the real openssl, in a program directory set up from the staged
// assets: the whole chain from a root to certificates that verify, and failures that explain
// themselves.

#include "platform/certificate_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/process_runner.h"
#include "platform/program_setup.h"
#include "scoped_variable.h"
#include "support/temp_dir.h"

namespace zk {
namespace {

// What an openssl inspection prints, or why it could not run.
std::string inspect(const std::vector<std::string>& argv) {
    const CapturedRun run = run_captured(argv, {}, 1 << 16);
    return run.output + (run.exit_status == 0 ? "" : "(failed)");
}

std::string subject(const std::string& certificate) {
    return inspect({"openssl", "x509", "-in", certificate, "-noout", "-subject"});
}

std::string describe(const CertificateOutcome& outcome) {
    return outcome.command_line + "\n" + outcome.output;
}

// A program directory whose path has spaces, as is usual under a home folder, and a folder for
// the files the user chooses.
class CertificateCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(prepare_program_directory(dir, ZK_PROGRAM_DIR "/"), std::nullopt);
        std::filesystem::create_directories(files);
    }
    std::string file(const std::string& name) const { return files + name; }

    // A key, its request and a certificate signed by `root`, named after `role`.
    void make_leaf(const std::string& name, CertificateRole role, const std::string& root) {
        for (const CertificateOutcome& step :
             {create_private_key(dir, file(name + ".pem")),
              create_request(dir, role, file(name + ".pem"), file(name + ".csr")),
              sign_certificate(dir, file(name + ".csr"), file(name + ".cer"),
                               root_certificate_path(dir, root), root_key_path(dir, root))}) {
            ASSERT_TRUE(step.succeeded) << describe(step);
        }
    }

    test::TempDir base;
    const std::string dir = base.dir() + "program files/zelkora home/";
    const std::string files = base.dir() + "my certificates/";
};

TEST_F(CertificateCommands, RootServerAndClientChainVerifies) {
    const CertificateOutcome root = create_root_certificate(dir, "ca");
    ASSERT_TRUE(root.succeeded) << describe(root);
    EXPECT_EQ(root_certificate_path(dir, "ca"), dir + "CA/ca.cer");
    EXPECT_EQ(root_key_path(dir, "ca"), dir + "CA/ca.pem");
    EXPECT_EQ(root.command_line, "openssl req -new -x509 -keyout \"" + dir + "CA/ca.pem\" -out \"" +
                                     dir + "CA/ca.cer\" -config \"" + dir +
                                     "openssl.cnf\" -days 3650");
    make_leaf("server", CertificateRole::server, "ca");
    make_leaf("client", CertificateRole::client, "ca");

    const std::string verified = inspect({"openssl", "verify", "-CAfile", dir + "CA/ca.cer",
                                          file("server.cer"), file("client.cer")});
    EXPECT_EQ(verified, file("server.cer") + ": OK\n" + file("client.cer") + ": OK\n");
    // Each leaf names its key file; none reads as the root (nor as self-signed).
    const std::string root_subject = subject(dir + "CA/ca.cer");
    EXPECT_NE(root_subject.find("CN = ca"), std::string::npos) << root_subject;
    for (const char* leaf : {"server", "client"}) {
        const std::string leaf_subject = subject(file(std::string(leaf) + ".cer"));
        EXPECT_NE(leaf_subject.find(std::string("CN = ") + leaf), std::string::npos)
            << leaf_subject;
        EXPECT_NE(leaf_subject, root_subject) << leaf;
    }
}

// The argument order of each command is the one users have always seen.
TEST_F(CertificateCommands, CommandLinesQuoteEveryPath) {
    ASSERT_TRUE(create_root_certificate(dir, "ca").succeeded);
    const std::string key = file("k.pem");
    const std::string csr = file("k.csr");
    const std::string cnf = "\"" + dir + "openssl.cnf\"";
    EXPECT_EQ(create_private_key(dir, key).command_line,
              "openssl genrsa -out \"" + key + "\" 2048");
    EXPECT_EQ(create_request(dir, CertificateRole::server, key, csr).command_line,
              "openssl req -new -key \"" + key + "\" -out \"" + csr + "\" -config " + cnf +
                  " -days 3650");
    EXPECT_EQ(create_request(dir, CertificateRole::client, key, csr).command_line,
              "openssl req -config " + cnf + " -new -key \"" + key + "\" -out \"" + csr +
                  "\" -days 3650");
    EXPECT_EQ(sign_certificate(dir, csr, file("k.cer"), dir + "CA/ca.cer", dir + "CA/ca.pem")
                  .command_line,
              "openssl ca -in \"" + csr + "\" -out \"" + file("k.cer") + "\" -cert \"" + dir +
                  "CA/ca.cer\" -keyfile \"" + dir + "CA/ca.pem\" -config " + cnf +
                  " -days 3650 -batch");
}

// Keys are remade and certificates renewed under the same name: the database takes them all.
TEST_F(CertificateCommands, SameSubjectCanBeSignedAgain) {
    ASSERT_TRUE(create_root_certificate(dir, "ca").succeeded);
    make_leaf("server", CertificateRole::server, "ca");
    const CertificateOutcome again = sign_certificate(dir, file("server.csr"), file("again.cer"),
                                                      dir + "CA/ca.cer", dir + "CA/ca.pem");
    EXPECT_TRUE(again.succeeded) << describe(again);
    EXPECT_EQ(subject(file("again.cer")), subject(file("server.cer")));
}

TEST_F(CertificateCommands, FailuresAreReportedWithTheReason) {
    ASSERT_TRUE(create_root_certificate(dir, "ca").succeeded);
    ASSERT_TRUE(create_private_key(dir, file("k.pem")).succeeded);
    ASSERT_TRUE(
        create_request(dir, CertificateRole::client, file("k.pem"), file("k.csr")).succeeded);
    test::TempDir bare;  // a program directory never set up: no openssl.cnf
    test::TempDir empty;
    struct Row {
        const char* name;
        std::function<CertificateOutcome()> run;
        std::string reason;
    };
    const Row rows[] = {
        {"missing request file",
         [&] {
             return sign_certificate(dir, file("none.csr"), file("none.cer"), dir + "CA/ca.cer",
                                     dir + "CA/ca.pem");
         },
         file("none.csr")},
        {"openssl absent from PATH",
         [&] {
             test::ScopedVariable path("PATH", empty.dir().c_str());
             return create_private_key(dir, file("k2.pem"));
         },
         "openssl was not found: install the openssl package"},
        {"missing openssl.cnf",
         [&] {
             return create_request(bare.dir(), CertificateRole::server, file("k.pem"),
                                   file("k.csr"));
         },
         bare.dir() + "openssl.cnf"},
        {"missing root key",
         [&] {
             return sign_certificate(dir, file("k.csr"), file("k.cer"), dir + "CA/ca.cer",
                                     dir + "CA/other.pem");
         },
         dir + "CA/other.pem"},
        {"root name that is a path", [&] { return create_root_certificate(dir, "../ca"); },
         "the root certificate name must be a plain file name"},
    };
    for (const Row& row : rows) {
        const CertificateOutcome outcome = row.run();
        EXPECT_FALSE(outcome.succeeded) << row.name;
        EXPECT_NE(outcome.output.find(row.reason), std::string::npos) << row.name << ":\n"
                                                                      << describe(outcome);
    }
    EXPECT_FALSE(std::filesystem::exists(file("none.cer")));
    EXPECT_FALSE(std::filesystem::exists(file("k2.pem")));
    EXPECT_FALSE(std::filesystem::exists(file("k.cer")));
}

}  // namespace
}  // namespace zk
