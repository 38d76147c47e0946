// The XDG autostart entry: where it goes, how Exec quotes paths, writing and removing it.

#include "platform/autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "scoped_variable.h"
#include "support/temp_dir.h"

namespace zk {
namespace {

std::string exec_line(const std::string& entry) {
    const std::size_t begin = entry.find("\nExec=");
    if (begin == std::string::npos) return "";
    return entry.substr(begin + 6, entry.find('\n', begin + 1) - begin - 6);
}

TEST(AutostartEntry, ExecQuotesAndEscapesPaths) {
    struct Row {
        const char* name;
        const char* executable;
        std::optional<std::string> home;
        const char* exec;
    } rows[] = {
        {"plain", "/usr/bin/zelkora", std::nullopt, R"("/usr/bin/zelkora")"},
        {"space", "/opt/my app/zelkora", std::nullopt, R"("/opt/my app/zelkora")"},
        {"home", "/usr/bin/zelkora", "/srv/zk/", R"("/usr/bin/zelkora" --home "/srv/zk/")"},
        {"double quote", "/a\"b/zelkora", std::nullopt, R"("/a\\"b/zelkora")"},
        {"dollar", "/a$HOME/zelkora", std::nullopt, R"("/a\\$HOME/zelkora")"},
        {"backquote", "/a`b`/zelkora", std::nullopt, R"("/a\\`b\\`/zelkora")"},
        {"backslash", "/a\\b/zelkora", std::nullopt, R"("/a\\\\b/zelkora")"},
        {"percent", "/100%/zelkora", "/d %f", R"("/100%%/zelkora" --home "/d %%f")"},
    };
    for (const Row& row : rows) {
        const std::string entry = autostart_entry(row.executable, row.home);
        EXPECT_EQ(exec_line(entry), row.exec) << row.name;
        EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << row.name;
        for (const char* line : {"\nType=Application\n", "\nName=Zelkora\n", "\nTerminal=false\n",
                                 "\nX-GNOME-Autostart-enabled=true\n", "\nComment="}) {
            EXPECT_NE(entry.find(line), std::string::npos) << row.name << ": " << line;
        }
    }
}

TEST(AutostartEntry, PathFollowsXdgConfigHomeElseHome) {
    struct Row {
        const char* name;
        const char* xdg;
        const char* path;
    } rows[] = {
        {"absolute XDG_CONFIG_HOME", "/cfg", "/cfg/autostart/zelkora.desktop"},
        {"relative XDG_CONFIG_HOME", "cfg", "/home/u/.config/autostart/zelkora.desktop"},
        {"empty XDG_CONFIG_HOME", "", "/home/u/.config/autostart/zelkora.desktop"},
        {"unset XDG_CONFIG_HOME", nullptr, "/home/u/.config/autostart/zelkora.desktop"},
    };
    const test::ScopedVariable home("HOME", "/home/u");
    for (const Row& row : rows) {
        const test::ScopedVariable xdg("XDG_CONFIG_HOME", row.xdg);
        EXPECT_EQ(autostart_entry_path(), row.path) << row.name;
    }
}

TEST(SetAutostart, WritesReplacesAndRemovesTheEntry) {
    test::TempDir dir;
    const test::ScopedVariable xdg("XDG_CONFIG_HOME", (dir.dir() + "config").c_str());
    const std::string path = dir.dir() + "config/autostart/zelkora.desktop";

    EXPECT_EQ(set_autostart(true, "/usr/bin/zelkora", std::nullopt), std::nullopt);
    EXPECT_EQ(test::read_file(path), autostart_entry("/usr/bin/zelkora", std::nullopt));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);

    EXPECT_EQ(set_autostart(true, "/usr/bin/zelkora", "/srv/zk/"), std::nullopt);
    EXPECT_EQ(test::read_file(path), autostart_entry("/usr/bin/zelkora", "/srv/zk/"));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    EXPECT_EQ(set_autostart(false, "/usr/bin/zelkora", std::nullopt), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(set_autostart(false, "/usr/bin/zelkora", std::nullopt), std::nullopt)
        << "a missing entry is no failure";
}

TEST(SetAutostart, RefusesControlCharactersAndUnwritableFolders) {
    test::TempDir dir;
    const test::ScopedVariable xdg("XDG_CONFIG_HOME", (dir.dir() + "config").c_str());
    const std::string path = dir.dir() + "config/autostart/zelkora.desktop";

    EXPECT_NE(set_autostart(true, "/usr/bin/zel\nkora", std::nullopt), std::nullopt);
    EXPECT_NE(set_autostart(true, "/usr/bin/zelkora", std::string("/srv/\tzk/")), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path));

    // A file where the autostart folder should be.
    test::write_file(dir.dir() + "config", "");
    const auto failure = set_autostart(true, "/usr/bin/zelkora", std::nullopt);
    ASSERT_NE(failure, std::nullopt);
    EXPECT_NE(failure->find("autostart"), std::string::npos) << *failure;
}

}  // namespace
}  // namespace zk
