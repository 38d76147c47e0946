// zelkorad on a program directory it has to set up itself, as a new user runs it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/config_file.h"
#include "support/child_process.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/recording_sink.h"
#include "support/wait_for.h"

namespace zk {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::read_file;
using test::TempDir;
using test::write_file;

const std::string kStaged = ZK_PROGRAM_DIR "/";

TEST(DaemonHome, NewDirectoryIsSetUpAsAnInstallerWould) {
    TempDir base;
    TempDir output;
    const std::string home = base.dir() + "new/home/";
    ChildProcess daemon({ZELKORAD, "--home", home}, output.dir());
    ASSERT_TRUE(
        test::wait_for([&] { return std::filesystem::exists(home + "log/zk-gate.log"); }, 10s))
        << daemon.err();
    EXPECT_EQ(read_file(home + "config.xml"), read_file(kStaged + "defaults/config.xml"));
    struct stat st {};
    ASSERT_EQ(::stat((home + "config.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const auto& entry : std::filesystem::directory_iterator(kStaged + "image")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(read_file(home + "image/" + name), read_file(entry.path().string())) << name;
    }
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(10s), 0) << daemon.err();
    EXPECT_TRUE(daemon.err().empty()) << daemon.err();
}

TEST(DaemonHome, ExistingFilesAreKept) {
    TempDir home;
    TempDir output;
    const std::string mine = "<mappings web_listen_port=\"1\" >\r\n</mappings>\r\n";
    write_file(home.file("config.xml"), mine);
    write_file(home.file("config.xml.tmp"), "a save killed half-way, with the password");
    std::filesystem::create_directory(home.file("image"));
    ChildProcess daemon({ZELKORAD, "--home", home.dir()}, output.dir());
    ASSERT_TRUE(
        test::wait_for([&] { return std::filesystem::exists(home.file("log/zk-gate.log")); }, 10s));
    EXPECT_TRUE(
        test::wait_for([&] { return !std::filesystem::exists(home.file("config.xml.tmp")); }, 10s));
    EXPECT_TRUE(std::filesystem::is_empty(home.file("image")));
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(10s), 0);
    AppSettings settings{};
    MappingTable table;
    test::RecordingSink sink;
    ASSERT_TRUE(load_configuration(home.file("config.xml"), settings, table, sink));
    EXPECT_EQ(settings.web_listen_port.view(), "1");
}

// A directory that cannot be one is reported as what it is, not as a running copy.
TEST(DaemonHome, UnusableDirectoryIsReportedAsSuch) {
    TempDir base;
    TempDir output;
    write_file(base.file("plain-file"), "x");
    struct Case {
        std::string home;
        const char* message;
    };
    const Case cases[] = {
        {base.file("plain-file") + "/home", "cannot create the program directory"},
        {base.file("plain-file"), "cannot create the program directory"},
    };
    for (const Case& c : cases) {
        ChildProcess daemon({ZELKORAD, "--home", c.home}, output.dir());
        EXPECT_EQ(daemon.wait(10s), 1) << c.home;
        EXPECT_NE(daemon.err().find(c.message), std::string::npos)
            << c.home << ": " << daemon.err();
        EXPECT_EQ(daemon.err().find("another copy"), std::string::npos) << c.home;
    }
}

// The start-up summary shows each automatic mapping as it ended up, not as it was while its
// listener was still starting.
TEST(DaemonHome, SummaryShowsTheSettledState) {
    TempDir home;
    TempDir output;
    const int taken = test::bind_socket(SOCK_STREAM, "0.0.0.0", 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    PortMapping up = test::relay_mapping("TCP", "up", test::free_port(), "127.0.0.1", 9);
    PortMapping clash =
        test::relay_mapping("TCP", "clash", test::local_port(taken), "127.0.0.1", 9);
    up.auto_start = "Y";
    clash.auto_start = "Y";
    AppSettings settings{};
    ASSERT_EQ(save_configuration(home.file("config.xml"), settings, {up, clash}, {}), 0);
    ChildProcess daemon({ZELKORAD, "--home", home.dir()}, output.dir());
    ASSERT_TRUE(
        test::wait_for([&] { return daemon.out().find("[clash]") != std::string::npos; }, 20s));
    EXPECT_NE(daemon.out().find("mapping [up] TCP " + up.listen_port.str() +
                                " -> 127.0.0.1:9, running, auto start\n"),
              std::string::npos)
        << daemon.out();
    EXPECT_NE(daemon.out().find("mapping [clash] TCP " + clash.listen_port.str() +
                                " -> 127.0.0.1:9, stop, auto start\n"),
              std::string::npos)
        << daemon.out();
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(10s), 0);
    ::close(taken);
}

// With every descriptor taken by clients, the shortage is logged once, later clients are turned
// away, and the exit path still writes config.xml from the descriptor kept in reserve.
TEST(DaemonHome, ExitSaveWorksWhenDescriptorsRunOut) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer runtimes open descriptors of their own (UBSan checks memory through a pipe)
    // and report false faults when none is left.
    GTEST_SKIP() << "needs a program without sanitizer runtimes";
#endif
    TempDir home;
    TempDir output;
    test::LoopbackServer server("127.0.0.1", test::echo);
    PortMapping m =
        test::relay_mapping("TCP", "busy", test::free_port(), "127.0.0.1", server.port());
    m.auto_start = "Y";
    AppSettings settings{};
    ASSERT_EQ(save_configuration(home.file("config.xml"), settings, {m}, {}), 0);
    const int port = text_to_int(m.listen_port);
    ChildProcess daemon({"prlimit", "--nofile=64:64", ZELKORAD, "--home", home.dir()},
                        output.dir());
    ASSERT_TRUE(
        test::wait_for([&] { return daemon.out().find("[busy]") != std::string::npos; }, 20s));
    ASSERT_NE(daemon.out().find("running"), std::string::npos) << daemon.out();

    std::vector<int> clients;
    for (int i = 0; i < 60; ++i) {
        const int fd = test::connect_to("127.0.0.1", port);
        if (fd >= 0) clients.push_back(fd);
    }
    const std::string log = home.file("log/zk-gate.log");
    EXPECT_TRUE(test::wait_for(
        [&] { return read_file(log).find("out of file descriptors") != std::string::npos; }, 20s))
        << read_file(log);
    const std::string text = read_file(log);
    EXPECT_EQ(text.find("out of file descriptors"), text.rfind("out of file descriptors"))
        << "once per episode";
    EXPECT_NE(text.find("the hard limit of open files is 64"), std::string::npos) << text;

    std::filesystem::remove(home.file("config.xml"));  // proves the exit path writes it anew
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(20s), 0) << daemon.err();
    MappingTable table;
    test::RecordingSink sink;
    EXPECT_TRUE(load_configuration(home.file("config.xml"), settings, table, sink));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name.view(), "busy");
    for (const int fd : clients)
        ::close(fd);
}

}  // namespace
}  // namespace zk
