// The systemd unit: its text, where it goes, and the systemctl command lines around it.

#include "platform/service_unit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scoped_variable.h"
#include "support/temp_dir.h"

namespace zk {
namespace {

// Records command lines instead of running them; answers each with `status`.
class RecordingRunner final : public ProcessRunner {
public:
    int status = 0;
    std::vector<std::string> lines;

    int run(const std::vector<std::string>& argv) override {
        std::string line;
        for (const std::string& word : argv)
            line += (line.empty() ? "" : " ") + word;
        lines.push_back(line);
        return status;
    }
    bool launch(const std::vector<std::string>&) override { return false; }
};

// A temporary unit folder and a PATH that does (or does not) hold a systemctl.
class ServiceUnitTest : public ::testing::Test {
protected:
    void use_path(bool with_systemctl) {
        std::filesystem::create_directories(dir_.dir() + "bin");
        if (with_systemctl) {
            test::write_file(dir_.dir() + "bin/systemctl", "#!/bin/sh\nexit 0\n");
            ::chmod((dir_.dir() + "bin/systemctl").c_str(), 0755);
        }
        path_.emplace("PATH", (dir_.dir() + "bin").c_str());
    }
    std::string unit_file() const { return place_.unit_dir + "/zelkorad.service"; }

    test::TempDir dir_;
    ServicePlace place_{false, dir_.dir() + "config/systemd/user"};
    std::optional<test::ScopedVariable> path_;
    RecordingRunner runner_;
};

TEST(ServiceUnitText, UserAndSystemUnits) {
    EXPECT_EQ(service_unit("/usr/bin/zelkorad", "/home/u/zk/", false),
              "[Unit]\n"
              "Description=Zelkora port forwarding\n"
              "\n[Service]\n"
              "Type=simple\n"
              "ExecStart=\"/usr/bin/zelkorad\" --home \"/home/u/zk/\"\n"
              "Restart=on-failure\n"
              "\n[Install]\n"
              "WantedBy=default.target\n");
    EXPECT_EQ(service_unit("/usr/bin/zelkorad", "/srv/zk/", true),
              "[Unit]\n"
              "Description=Zelkora port forwarding\n"
              "After=network-online.target\n"
              "Wants=network-online.target\n"
              "\n[Service]\n"
              "Type=simple\n"
              "ExecStart=\"/usr/bin/zelkorad\" --home \"/srv/zk/\"\n"
              "Restart=on-failure\n"
              "\n[Install]\n"
              "WantedBy=multi-user.target\n");
}

TEST(ServiceUnitText, ExecStartQuotesAsSystemdSplits) {
    struct Row {
        const char* name;
        const char* dir;
        const char* exec;
    } rows[] = {
        {"space", "/my zk/", R"(ExecStart="/bin/zelkorad" --home "/my zk/")"},
        {"double quote", "/a\"b/", R"(ExecStart="/bin/zelkorad" --home "/a\"b/")"},
        {"backslash", "/a\\b/", R"(ExecStart="/bin/zelkorad" --home "/a\\b/")"},
        {"percent", "/100%/", R"(ExecStart="/bin/zelkorad" --home "/100%%/")"},
        {"dollar", "/$HOME/", R"(ExecStart="/bin/zelkorad" --home "/$$HOME/")"},
    };
    for (const Row& row : rows) {
        const std::string unit = service_unit("/bin/zelkorad", row.dir, false);
        EXPECT_NE(unit.find(std::string("\n") + row.exec + "\n"), std::string::npos)
            << row.name << ":\n"
            << unit;
    }
}

TEST(ServicePlace, UserUnitFollowsXdgConfigHome) {
    if (::geteuid() == 0) {
        EXPECT_TRUE(service_place().system);
        EXPECT_EQ(service_place().unit_dir, "/etc/systemd/system");
        return;
    }
    const test::ScopedVariable xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_FALSE(service_place().system);
    EXPECT_EQ(service_place().unit_dir, "/cfg/systemd/user");
}

TEST_F(ServiceUnitTest, InstallWritesTheUnitThenReloadsAndEnables) {
    use_path(true);
    EXPECT_EQ(install_service(place_, "/usr/bin/zelkorad", "/home/u/zk/", runner_), std::nullopt);
    EXPECT_EQ(test::read_file(unit_file()),
              service_unit("/usr/bin/zelkorad", "/home/u/zk/", false));
    struct stat status {};
    ASSERT_EQ(::stat(unit_file().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    EXPECT_EQ(runner_.lines,
              (std::vector<std::string>{"systemctl --user daemon-reload",
                                        "systemctl --user enable zelkorad.service"}));

    runner_.lines.clear();
    EXPECT_EQ(uninstall_service(place_, runner_), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(unit_file()));
    EXPECT_EQ(runner_.lines, (std::vector<std::string>{"systemctl --user disable zelkorad.service",
                                                       "systemctl --user daemon-reload"}));
}

TEST_F(ServiceUnitTest, SystemUnitCommandsHaveNoUserFlag) {
    use_path(true);
    place_.system = true;
    EXPECT_EQ(install_service(place_, "/usr/bin/zelkorad", "/srv/zk/", runner_), std::nullopt);
    EXPECT_EQ(runner_.lines, (std::vector<std::string>{"systemctl daemon-reload",
                                                       "systemctl enable zelkorad.service"}));
    EXPECT_NE(test::read_file(unit_file()).find("WantedBy=multi-user.target"), std::string::npos);
}

TEST_F(ServiceUnitTest, FailingSystemctlGivesAMessage) {
    use_path(true);
    runner_.status = 1;
    const auto installed = install_service(place_, "/usr/bin/zelkorad", "/zk/", runner_);
    ASSERT_NE(installed, std::nullopt);
    EXPECT_NE(installed->find("systemctl --user daemon-reload"), std::string::npos) << *installed;
    EXPECT_NE(installed->find("exit status 1"), std::string::npos) << *installed;
    EXPECT_TRUE(std::filesystem::exists(unit_file()));

    runner_.status = -1;
    const auto removed = uninstall_service(place_, runner_);
    ASSERT_NE(removed, std::nullopt);
    EXPECT_NE(removed->find("disable"), std::string::npos) << *removed;
    EXPECT_FALSE(std::filesystem::exists(unit_file())) << "the file goes even so";
}

TEST_F(ServiceUnitTest, WithoutSystemctlOnlyTheFileChanges) {
    use_path(false);
    const auto installed = install_service(place_, "/usr/bin/zelkorad", "/zk/", runner_);
    ASSERT_NE(installed, std::nullopt);
    EXPECT_NE(installed->find("systemctl"), std::string::npos) << *installed;
    EXPECT_TRUE(std::filesystem::exists(unit_file()));
    EXPECT_EQ(uninstall_service(place_, runner_), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(unit_file()));
    EXPECT_TRUE(runner_.lines.empty());
}

TEST_F(ServiceUnitTest, UninstallOfAMissingUnitDoesNothing) {
    use_path(true);
    EXPECT_EQ(uninstall_service(place_, runner_), std::nullopt);
    EXPECT_TRUE(runner_.lines.empty());
}

TEST_F(ServiceUnitTest, ControlCharactersAreRefused) {
    use_path(true);
    EXPECT_NE(install_service(place_, "/usr/bin/zelkorad", "/zk\n/", runner_), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(unit_file()));
    EXPECT_TRUE(runner_.lines.empty());
}

}  // namespace
}  // namespace zk
