// Setting a program directory up: the staged help/ and image/ folders, the certificate tool's
// files and the ports catalogue are copied once.

#include "platform/program_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace zk {
namespace {

TEST(PrepareProgramDirectory, CopiesStagedFoldersTheDirectoryLacks) {
    test::TempDir staged;
    test::TempDir home;
    for (const char* folder : {"image", "help"}) {
        std::filesystem::create_directories(staged.dir() + folder);
        test::write_file(staged.dir() + folder + "/page.txt", folder);
    }
    // The user's own guide stays as it is.
    std::filesystem::create_directories(home.dir() + "zk/help");
    test::write_file(home.dir() + "zk/help/page.txt", "mine");

    const std::string fresh = home.dir() + "fresh/";
    ASSERT_EQ(prepare_program_directory(fresh, staged.dir()), std::nullopt);
    for (const char* folder : {"image", "help"}) {
        EXPECT_EQ(test::read_file(fresh + folder + "/page.txt"), folder) << folder;
    }
    ASSERT_EQ(prepare_program_directory(home.dir() + "zk/", staged.dir()), std::nullopt);
    EXPECT_EQ(test::read_file(home.dir() + "zk/help/page.txt"), "mine");
    EXPECT_EQ(test::read_file(home.dir() + "zk/image/page.txt"), "image");
}

// A new directory gets the certificate tool's files; a database in use is never replaced, only
// completed.
TEST(PrepareProgramDirectory, CertificateDatabaseIsCompletedNeverReplaced) {
    test::TempDir staged;
    test::TempDir home;
    std::filesystem::create_directories(staged.dir() + kDefaultCaPath);
    test::write_file(staged.dir() + kDefaultCaPath + "/index.txt", "");
    test::write_file(staged.dir() + kDefaultCaPath + "/index.txt.attr", "unique_subject = no\n");
    test::write_file(staged.dir() + "openssl.cnf", "staged");

    const std::string fresh = home.dir() + "fresh/";
    ASSERT_EQ(prepare_program_directory(fresh, staged.dir()), std::nullopt);
    EXPECT_EQ(test::read_file(fresh + "openssl.cnf"), "staged");
    EXPECT_TRUE(std::filesystem::exists(fresh + "CA/index.txt"));
    EXPECT_EQ(test::read_file(fresh + "CA/index.txt.attr"), "unique_subject = no\n");
    EXPECT_TRUE(std::filesystem::is_directory(fresh + "CA/newcerts"));

    const std::string used = home.dir() + "used/";
    std::filesystem::create_directories(used + "CA");
    const std::string record = "V\t361207224937Z\t\t4E51\tunknown\t/CN=server\n";
    test::write_file(used + "CA/index.txt", record);
    test::write_file(used + "openssl.cnf", "mine");
    ASSERT_EQ(prepare_program_directory(used, staged.dir()), std::nullopt);
    EXPECT_EQ(test::read_file(used + "CA/index.txt"), record);
    EXPECT_EQ(test::read_file(used + "openssl.cnf"), "mine");
    EXPECT_EQ(test::read_file(used + "CA/index.txt.attr"), "unique_subject = no\n");
    EXPECT_TRUE(std::filesystem::is_directory(used + "CA/newcerts"));
}

// The catalogue is copied into a new directory; the entries a user added are never replaced.
TEST(PrepareProgramDirectory, CopiesThePortsCatalogueOnlyWhenMissing) {
    test::TempDir staged;
    test::TempDir home;
    test::write_file(staged.dir() + "ports_list.txt", "SSH|22|\n");

    const std::string fresh = home.dir() + "fresh/";
    ASSERT_EQ(prepare_program_directory(fresh, staged.dir()), std::nullopt);
    EXPECT_EQ(test::read_file(fresh + "ports_list.txt"), "SSH|22|\n");

    const std::string used = home.dir() + "used/";
    std::filesystem::create_directories(used);
    test::write_file(used + "ports_list.txt", "Mine|1|\n");
    ASSERT_EQ(prepare_program_directory(used, staged.dir()), std::nullopt);
    EXPECT_EQ(test::read_file(used + "ports_list.txt"), "Mine|1|\n");
}

}  // namespace
}  // namespace zk
