#include "engine/dump_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace zk {
namespace {

constexpr LocalTime kTime{2024, 3, 7, 9, 5, 1};
const std::string kHeader =
    "<03/07/2024 09:05:01>:[127.0.0.1:5000]=====================>[10.0.0.2:80]\n";

std::string spaces(std::size_t n) {
    return std::string(n, ' ');
}

TEST(DumpBlock, LayoutOfHeaderHexAndCharacterColumns) {
    struct Case {
        const char* name;
        std::string data;
        std::string body;
    };
    const Case cases[] = {
        {"three bytes", "GET", "\t47 45 54 " + spaces(26) + "\t\t\tGET\n"},
        {"twelve bytes", "Hello world!",
         "\t48 65 6c 6c 6f 20 77 6f 72 6c 64 21 \t\t\tHello world!\n"},
        {"thirteen bytes", "0123456789abc",
         "\t30 31 32 33 34 35 36 37 38 39 61 62 \t\t\t0123456789ab\n"
         "\t63 " +
             spaces(32) + "\t\t\tc\n"},
        {"CR and LF", "a\r\nb", "\t61 0d 0a 62 " + spaces(23) + "\t\t\ta..b\n"},
        {"high bytes unchanged", "\xff\x80", "\tff 80 " + spaces(29) + "\t\t\t\xff\x80\n"},
        {"NUL shown as dot and not the end", std::string("x\0y\r\n0123456789", 15),
         "\t78 00 79 0d 0a 30 31 32 33 34 35 36 \t\t\tx.y..0123456\n"
         "\t37 38 39 " +
             spaces(26) + "\t\t\t789\n"},
        {"twenty-four bytes", "abcdefghijklmnopqrstuvwx",
         "\t61 62 63 64 65 66 67 68 69 6a 6b 6c \t\t\tabcdefghijkl\n"
         "\t6d 6e 6f 70 71 72 73 74 75 76 77 78 \t\t\tmnopqrstuvwx\n"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(format_dump_block(kTime, "127.0.0.1:5000", "10.0.0.2:80", row.data.data(),
                                    row.data.size()),
                  kHeader + row.body);
    }
}

TEST(DumpBlock, EmptyChunkHasNoBlock) {
    EXPECT_EQ(format_dump_block(kTime, "a", "b", "", 0), "");
}

TEST(DumpBlock, LargeChunkHoldsEveryByte) {
    std::string data(10240, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31 + i / 256);
    const std::string block = format_dump_block(kTime, "a", "b", data.data(), data.size());

    // Read the bytes back from the hexadecimal columns, line by line.
    std::istringstream lines(block);
    std::string line;
    std::getline(lines, line);  // header
    std::string decoded;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line[0], '\t');
        const std::size_t hex_end = line.find("\t\t\t");
        ASSERT_NE(hex_end, std::string::npos);
        std::istringstream groups(line.substr(1, hex_end - 1));
        std::string group;
        std::size_t on_line = 0;
        while (groups >> group) {
            decoded += static_cast<char>(std::stoi(group, nullptr, 16));
            ++on_line;
        }
        ASSERT_EQ(line.size(), hex_end + 3 + on_line);
    }
    EXPECT_TRUE(decoded == data);
}

TEST(DumpStream, AppendsBlocksToTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("debug.log");
    auto stream = std::make_shared<DumpStream>([] { return kTime; });
    ASSERT_TRUE(stream->open(path));
    write_dump_block(stream.get(), "127.0.0.1:5000", "10.0.0.2:80", "GET", 3);
    write_dump_block(stream.get(), "127.0.0.1:5000", "10.0.0.2:80", "", 0);
    stream.reset();  // the last copy lets go: closed

    DumpStream again([] { return kTime; });
    ASSERT_TRUE(again.open(path));
    write_dump_block(&again, "10.0.0.2:80", "127.0.0.1:5000", "OK\r\n", 4);
    EXPECT_EQ(test::read_file(path),
              kHeader + "\t47 45 54 " + spaces(26) + "\t\t\tGET\n" +
                  "<03/07/2024 09:05:01>:[10.0.0.2:80]=====================>[127.0.0.1:5000]\n" +
                  "\t4f 4b 0d 0a " + spaces(23) + "\t\t\tOK..\n");
}

TEST(DumpStream, ClosedOrAbsentStreamWritesNothing) {
    test::TempDir dir;
    DumpStream stream;
    EXPECT_FALSE(stream.open(dir.file("missing/debug.log")));
    EXPECT_FALSE(stream.is_open());
    write_dump_block(&stream, "a", "b", "GET", 3);
    write_dump_block(nullptr, "a", "b", "GET", 3);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing/debug.log")));
}

TEST(DumpStream, BlocksOfConcurrentSessionsNeverInterleave) {
    constexpr int kSessions = 4;
    constexpr int kBlocks = 200;
    test::TempDir dir;
    auto stream = std::make_shared<DumpStream>([] { return kTime; });
    ASSERT_TRUE(stream->open(dir.file("debug.log")));
    auto data_of = [](int session) { return std::string(100, static_cast<char>('A' + session)); };
    auto from_of = [](int session) { return "127.0.0." + std::to_string(session + 1) + ":4000"; };
    std::vector<std::thread> threads;
    for (int s = 0; s < kSessions; ++s) {
        threads.emplace_back([stream, s, &data_of, &from_of] {
            const std::string data = data_of(s);
            for (int n = 0; n < kBlocks; ++n) {
                write_dump_block(stream.get(), from_of(s), "10.0.0.2:80", data.data(), data.size());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::vector<std::string> blocks;
    for (int s = 0; s < kSessions; ++s) {
        const std::string data = data_of(s);
        blocks.push_back(format_dump_block(kTime, from_of(s), "10.0.0.2:80", data.data(), 100));
    }
    const std::string file = test::read_file(dir.file("debug.log"));
    std::vector<int> counts(kSessions, 0);
    std::size_t at = 0;
    while (at < file.size()) {
        int match = -1;
        for (int s = 0; s < kSessions; ++s) {
            if (file.compare(at, blocks[s].size(), blocks[s]) == 0) match = s;
        }
        ASSERT_NE(match, -1) << "torn block at offset " << at;
        ++counts[match];
        at += blocks[match].size();
    }
    EXPECT_EQ(counts, std::vector<int>(kSessions, kBlocks));
}

}  // namespace
}  // namespace zk
