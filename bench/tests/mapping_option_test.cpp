#include "zkload/mapping_option.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config_file.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "zkload/modes.h"

namespace zk::bench {
namespace {

// What the written file must read back as, per mapping text.
struct GoodCase {
    const char* option;
    const char* type;
    const char* destination_ip;
    const char* destination_port;
    const char* http_proxy;
    const char* ssl_type;  // "" when TLS is off
};

const GoodCase kGood[] = {
    {"bench,TCP,24010,127.0.0.1,24000", "TCP", "127.0.0.1", "24000", "N", ""},
    {"udp,UDP,24011,127.0.0.1,24003", "UDP", "127.0.0.1", "24003", "N", ""},
    {"proxy,PROXY,24012", "TCP", "http proxy", "0", "Y", ""},
    {"encrypt,TCP,24013,127.0.0.1,24014,client,/t/cert.pem,/t/key.pem", "TCP", "127.0.0.1", "24014",
     "N", "client"},
    {"decrypt,TCP,24014,127.0.0.1,24001,server,/t/cert.pem,/t/key.pem", "TCP", "127.0.0.1", "24001",
     "N", "server"},
};

TEST(BenchConfig, WrittenMappingsReadBackAsGiven) {
    std::vector<std::string> options;
    for (const auto& c : kGood)
        options.emplace_back(c.option);
    std::string error;
    const auto table = mappings_from_options(options, error);
    ASSERT_TRUE(table) << error;

    test::TempDir dir;
    const std::string path = dir.file(kConfigFileName);
    ASSERT_EQ(save_configuration(path, bench_settings(), *table, {}), 0);
    AppSettings settings;
    MappingTable read;
    test::RecordingSink sink;
    ASSERT_TRUE(load_configuration(path, settings, read, sink)) << test::read_file(path);
    EXPECT_EQ(settings.enable_web, "0");
    ASSERT_EQ(read.size(), std::size(kGood));
    for (std::size_t i = 0; i < read.size(); ++i) {
        const GoodCase& c = kGood[i];
        const PortMapping& m = read[i];
        SCOPED_TRACE(c.option);
        EXPECT_EQ(m, (*table)[i]);
        EXPECT_EQ(m.type, c.type);
        EXPECT_EQ(m.destination_ip, c.destination_ip);
        EXPECT_EQ(m.destination_port, c.destination_port);
        EXPECT_EQ(m.http_proxy, c.http_proxy);
        EXPECT_EQ(m.auto_start, "Y");
        EXPECT_EQ(m.ssl_type, c.ssl_type);
        EXPECT_EQ(m.ssl_enable, *c.ssl_type != '\0' ? "Y" : "N");
        const bool server = std::string_view(c.ssl_type) == "server";
        const bool client = std::string_view(c.ssl_type) == "client";
        EXPECT_EQ(m.server_cer, server ? "/t/cert.pem" : "");
        EXPECT_EQ(m.private_key, server ? "/t/key.pem" : "");
        EXPECT_EQ(m.client_cer, client ? "/t/cert.pem" : "");
        EXPECT_EQ(m.private_key_client, client ? "/t/key.pem" : "");
    }
}

TEST(BenchConfig, RefusesWhatIsNotALoopbackMapping) {
    const struct {
        std::vector<std::string> options;
        const char* message;  // part of the error
    } cases[] = {
        {{"a,TCP,24010,10.0.0.1,80"}, "non-loopback"},
        {{"a,TCP,24010,example.com,80"}, "not an IPv4 address"},
        {{"a,TCP,24010,127.0.0.1,0"}, "bad port"},
        {{"a,TCP,24010,127.0.0.1"}, "needs DEST_IP,DEST_PORT"},
        {{"a,UDP,24010,127.0.0.1,80,client,c,k"}, "UDP mapping needs"},
        {{"a,SCTP,24010,127.0.0.1,80"}, "KIND must be"},
        {{"a,PROXY,24010,127.0.0.1,80"}, "takes no destination"},
        {{"a,TCP,24010,127.0.0.1,80,middle,c,k"}, "SSL_TYPE must be"},
        {{"a,TCP,24010,127.0.0.1,80,client,,k"}, "certificate and a key"},
        {{"a,TCP,port,127.0.0.1,80"}, "invalid listen port"},
        {{",TCP,24010,127.0.0.1,80"}, "invalid name"},
        {{"a,TCP"}, "expected NAME,KIND,LISTEN_PORT"},
        {{"a,TCP,24010,127.0.0.1,80", "a,UDP,24011,127.0.0.1,81"}, "mapping 2 (a,UDP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.back());
        std::string error;
        EXPECT_FALSE(mappings_from_options(c.options, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// Runs `zkload config` with these arguments after the mode name.
int run_config_with(std::vector<std::string> words) {
    words.insert(words.begin(), {"zkload", "config"});
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    std::string error;
    auto args = Args::parse(static_cast<int>(argv.size()), argv.data(), 2, error);
    return args ? run_config(*args) : -1;
}

TEST(BenchConfig, ModeWritesEveryRepeatedMappingIntoANewDirectory) {
    test::TempDir dir;
    const std::string home = dir.file("peer/home");
    ASSERT_EQ(run_config_with({"--out", home, "--mapping", "encrypt,TCP,24013,127.0.0.1,24014",
                               "--mapping", "decrypt,TCP,24014,127.0.0.1,24001"}),
              0);
    AppSettings settings;
    MappingTable read;
    test::RecordingSink sink;
    ASSERT_TRUE(load_configuration(home + "/" + kConfigFileName, settings, read, sink));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].name, "encrypt");
    EXPECT_EQ(read[1].name, "decrypt");

    // A refused mapping writes nothing.
    const std::string other = dir.file("other");
    EXPECT_EQ(run_config_with({"--out", other, "--mapping", "x,TCP,1,192.168.1.1,80"}), 2);
    EXPECT_FALSE(std::filesystem::exists(other));
}

}  // namespace
}  // namespace zk::bench
