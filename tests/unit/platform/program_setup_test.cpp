// Setting a program directory up: the staged help/ and image/ folders are copied once.

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

}  // namespace
}  // namespace zk
