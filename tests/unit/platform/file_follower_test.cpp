// The log follower: the last lines first, then what is appended, across truncation, rotation
// and a file that is not there yet, never more than a bounded amount per call.

#include "platform/file_follower.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace zk {
namespace {

void append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::string numbered_lines(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST(FileFollower, FirstCallGivesTheLastLines) {
    struct Row {
        const char* name;
        std::string content;
        std::size_t last_lines;
        std::string expected;
    } rows[] = {
        {"more lines than asked", numbered_lines(1, 500), 100, numbered_lines(401, 500)},
        {"fewer lines than asked", numbered_lines(1, 3), 100, numbered_lines(1, 3)},
        {"exactly as many", numbered_lines(1, 5), 5, numbered_lines(1, 5)},
        {"no final newline", numbered_lines(1, 9) + "partial", 3, numbered_lines(8, 9) + "partial"},
        {"empty file", "", 100, ""},
        {"none asked", numbered_lines(1, 9), 0, ""},
        {"empty lines", "a\n\n\n\nb\n", 3, "\n\nb\n"},
    };
    test::TempDir dir;
    for (const Row& row : rows) {
        const std::string path = dir.file("log");
        test::write_file(path, row.content);
        FileFollower follower(path, row.last_lines);
        EXPECT_EQ(follower.read_new(), row.expected) << row.name;
        EXPECT_EQ(follower.read_new(), "") << row.name;
    }
}

TEST(FileFollower, BigFileIsReadFromItsEndOnly) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    // 3 MiB of short lines, then long lines crossing the 64 KiB reading blocks.
    std::string text(3000000, 'x');
    for (std::size_t i = 99; i < text.size(); i += 100)
        text[i] = '\n';
    const std::string tail = std::string(70000, 'y') + "\n" + std::string(70000, 'z') + "\n";
    test::write_file(path, text + tail);
    FileFollower follower(path, 2);
    EXPECT_EQ(follower.read_new(), tail);
    FileFollower three(path, 3);
    EXPECT_EQ(three.read_new(), std::string(99, 'x') + "\n" + tail);
}

TEST(FileFollower, FollowsAppendsIncludingPartialLines) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    test::write_file(path, numbered_lines(1, 3));
    FileFollower follower(path, 2);
    EXPECT_EQ(follower.read_new(), numbered_lines(2, 3));
    append(path, "half");
    EXPECT_EQ(follower.read_new(), "half");
    append(path, " done\n" + numbered_lines(4, 4));
    EXPECT_EQ(follower.read_new(), " done\n" + numbered_lines(4, 4));
    EXPECT_EQ(follower.read_new(), "");
}

TEST(FileFollower, TruncatedFileIsReadFromItsBeginning) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    test::write_file(path, numbered_lines(1, 50));
    FileFollower follower(path, 10);
    EXPECT_EQ(follower.read_new(), numbered_lines(41, 50));
    test::write_file(path, "new\n");  // same file, cut to 4 bytes
    EXPECT_EQ(follower.read_new(), "new\n");
    append(path, "more\n");
    EXPECT_EQ(follower.read_new(), "more\n");
}

TEST(FileFollower, RotatedFileIsReadFromItsBeginning) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    test::write_file(path, numbered_lines(1, 5));
    FileFollower follower(path, 2);
    EXPECT_EQ(follower.read_new(), numbered_lines(4, 5));
    std::filesystem::rename(path, path + ".1");
    EXPECT_EQ(follower.read_new(), "") << "between the rename and the new file";
    // Longer than what was read of the old one: only the identity shows the change.
    test::write_file(path, numbered_lines(100, 140));
    EXPECT_EQ(follower.read_new(), numbered_lines(100, 140));
    append(path + ".1", "old\n");
    append(path, "next\n");
    EXPECT_EQ(follower.read_new(), "next\n");
}

TEST(FileFollower, MissingFileIsPickedUpWhenItAppears) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    FileFollower follower(path, 2);
    EXPECT_EQ(follower.read_new(), "");
    EXPECT_EQ(follower.read_new(), "");
    test::write_file(path, numbered_lines(1, 5));
    EXPECT_EQ(follower.read_new(), numbered_lines(1, 5));
}

TEST(FileFollower, EachCallGivesAtMostTheBound) {
    test::TempDir dir;
    const std::string path = dir.file("log");
    test::write_file(path, "start\n");
    FileFollower follower(path);
    EXPECT_EQ(follower.read_new(), "start\n");
    std::string flood;
    for (int i = 0; flood.size() < 3 * FileFollower::kMaxRead; ++i)
        flood += "flood line " + std::to_string(i) + "\n";
    append(path, flood);
    std::string received;
    for (int call = 0; call < 10 && received.size() < flood.size(); ++call) {
        const std::string part = follower.read_new();
        ASSERT_LE(part.size(), FileFollower::kMaxRead) << "call " << call;
        ASSERT_FALSE(part.empty()) << "call " << call;
        received += part;
    }
    EXPECT_TRUE(received == flood) << "received " << received.size() << " of " << flood.size();
    EXPECT_EQ(follower.read_new(), "");
}

}  // namespace
}  // namespace zk
