#include "engine/event_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace zk {
namespace {

LocalClock fixed_clock(LocalTime time) {
    return [time] { return time; };
}

TEST(EventLog, LineIsStampedWithLocalTimeFields) {
    struct Case {
        LocalTime time;
        const char* stamp;
    };
    const Case cases[] = {
        {{2024, 3, 7, 9, 5, 1}, "<03/07/2024 09:05:01>"},
        {{1999, 12, 31, 23, 59, 59}, "<12/31/1999 23:59:59>"},
        {{2100, 1, 1, 0, 0, 0}, "<01/01/2100 00:00:00>"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.stamp);
        test::TempDir dir;
        EventLog log(fixed_clock(row.time));
        ASSERT_TRUE(log.open(dir.file("zk-gate.log")));
        log.write("port mapping[%s] has been successfully started.\n", "web");
        log.write("translate computer name or website address to ip address error!");
        EXPECT_EQ(test::read_file(dir.file("zk-gate.log")),
                  std::string(row.stamp) + ":port mapping[web] has been successfully started.\n" +
                      row.stamp +
                      ":translate computer name or website address to ip address error!");
    }
}

TEST(EventLog, OpenAppendsToExistingFile) {
    test::TempDir dir;
    const std::string path = dir.file("zk-gate.log");
    test::write_file(path, "earlier\n");
    EventLog log(fixed_clock({2024, 1, 2, 3, 4, 5}));
    ASSERT_TRUE(log.open(path));
    log.write("%d\n", 7);
    EXPECT_EQ(test::read_file(path), "earlier\n<01/02/2024 03:04:05>:7\n");
}

TEST(EventLog, LongMessageIsCutButStampStaysWhole) {
    test::TempDir dir;
    EventLog log(fixed_clock({2024, 3, 7, 9, 5, 1}));
    ASSERT_TRUE(log.open(dir.file("zk-gate.log")));
    const std::string message(kEventLineSize * 2, 'x');
    log.write("%s", message.c_str());
    const std::string line = test::read_file(dir.file("zk-gate.log"));
    const std::string stamp = "<03/07/2024 09:05:01>:";
    ASSERT_EQ(line.size(), kEventLineSize - 1);  // the buffer's last byte holds the NUL
    EXPECT_EQ(line.substr(0, stamp.size()), stamp);
    EXPECT_EQ(line.substr(stamp.size()), std::string(kEventLineSize - 1 - stamp.size(), 'x'));
}

// A name is the user's text: a line break or an escape sequence in it must not forge a line or
// reach a terminal that shows the log.
TEST(EventLog, ControlCharactersAreEscapedButTheLineEndStays) {
    test::TempDir dir;
    EventLog log(fixed_clock({2024, 3, 7, 9, 5, 1}));
    ASSERT_TRUE(log.open(dir.file("zk-gate.log")));
    log.write("port mapping[%s] has been successfully started.\n",
              "a\n<01/01/2024 00:00:00>:fake\x1b[2J\r\x7f");
    EXPECT_EQ(test::read_file(dir.file("zk-gate.log")),
              "<03/07/2024 09:05:01>:port mapping[a\\x0A<01/01/2024 00:00:00>:fake\\x1B[2J\\x0D"
              "\\x7F] has been successfully started.\n");
}

TEST(EventLog, ClosedLogPrintsLineAndNewlineToStandardOutput) {
    EventLog log(fixed_clock({2024, 3, 7, 9, 5, 1}));
    testing::internal::CaptureStdout();
    log.write("[%s:%d] try to access port mapping[%s] has been rejected.error[%s].\n", "127.0.0.1",
              4000, "web", "ip in block ip list");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "<03/07/2024 09:05:01>:[127.0.0.1:4000] try to access port mapping[web] has been "
              "rejected.error[ip in block ip list].\n\n");
}

TEST(EventLog, FailedOpenIsPrintedAndLogStaysClosed) {
    test::TempDir dir;
    const std::string path = dir.file("log/zk-gate.log");  // the log directory is missing
    EventLog log(fixed_clock({2024, 3, 7, 9, 5, 1}));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(log.open(path));
    log.write("after\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open log file " + path + " fail, errno is 2\n<03/07/2024 09:05:01>:after\n\n");
    EXPECT_FALSE(log.is_open());
}

TEST(EventLog, ProcessWideLogWritesToStandardOutputUntilOpened) {
    ASSERT_FALSE(event_log().is_open());
    testing::internal::CaptureStdout();
    log_event("stop port triggering[%s], trigger address is %s, trigger port is %s\n", "t1",
              "127.0.0.1", "9000");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(
        out, std::regex(R"(<\d\d/\d\d/\d{4} \d\d:\d\d:\d\d>:stop port triggering\[t1\], )"
                        R"(trigger address is 127\.0\.0\.1, trigger port is 9000\n\n)")))
        << out;
}

TEST(EventLog, LinesOfManyThreadsNeverMix) {
    constexpr int kThreads = 8;
    constexpr int kLines = 500;
    test::TempDir dir;
    EventLog log(fixed_clock({2024, 3, 7, 9, 5, 1}));
    ASSERT_TRUE(log.open(dir.file("zk-gate.log")));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            // Long lines make a torn or interleaved write visible.
            const std::string filler(200 + 37 * t, static_cast<char>('a' + t));
            for (int n = 0; n < kLines; ++n)
                log.write("%d %d %s\n", t, n, filler.c_str());
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::istringstream lines(test::read_file(dir.file("zk-gate.log")));
    const std::regex shape(R"(<03/07/2024 09:05:01>:(\d) (\d+) ([a-z]+))");
    std::set<std::pair<int, int>> seen;
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, shape)) << line;
        const int t = std::stoi(parts[1]);
        ASSERT_EQ(parts[3].str(), std::string(200 + 37 * t, static_cast<char>('a' + t))) << line;
        EXPECT_TRUE(seen.emplace(t, std::stoi(parts[2])).second) << line;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

}  // namespace
}  // namespace zk
