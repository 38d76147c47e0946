// Worker threads: every task handed over from many threads at once runs, and the thread that
// finished last takes the next task.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <latch>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/thread_start.h"
#include "support/wait_for.h"

namespace zk {
namespace {

// True when every other thread of this process sleeps: the pool's threads have all finished
// their tasks and gone back to waiting for the next one. Called from the test's own thread.
bool other_threads_sleeping() {
    const std::string self = std::to_string(::gettid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        if (entry.path().filename() == self) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t name_end = line.rfind(')');
        if (name_end == std::string::npos || name_end + 2 >= line.size()) continue;  // it ended
        if (line[name_end + 2] != 'S') return false;
    }
    return true;
}

TEST(ThreadStart, EveryTaskRunsOnceWhenStartedFromManyThreads) {
    constexpr int kStarters = 4;
    constexpr int kEach = 100;
    std::atomic<int> ran{0};
    std::vector<std::thread> starters;
    for (int i = 0; i < kStarters; ++i) {
        starters.emplace_back([&] {
            for (int j = 0; j < kEach; ++j) {
                ASSERT_TRUE(start_detached_thread([&] { ++ran; }));
            }
        });
    }
    for (auto& t : starters)
        t.join();
    EXPECT_TRUE(test::wait_for([&] { return ran.load() == kStarters * kEach; }));
}

TEST(ThreadStart, TheMostRecentlyFinishedThreadTakesTheNextTask) {
    // Eight threads at once, so eight are left waiting afterwards.
    constexpr int kBusy = 8;
    std::latch all_started(kBusy);
    std::atomic<int> busy_done{0};
    for (int i = 0; i < kBusy; ++i) {
        ASSERT_TRUE(start_detached_thread([&] {
            all_started.arrive_and_wait();
            ++busy_done;
        }));
    }
    ASSERT_TRUE(test::wait_for([&] { return busy_done.load() == kBusy; }));
    ASSERT_TRUE(test::wait_for(other_threads_sleeping, std::chrono::seconds(60)))
        << "the busy threads never went back to waiting";

    std::mutex lock;
    std::set<std::thread::id> used;
    for (int i = 0; i < 20; ++i) {
        std::atomic<bool> ran{false};
        // The last one is waiting again before the next task comes.
        ASSERT_TRUE(test::wait_for(other_threads_sleeping, std::chrono::seconds(60)))
            << "task " << i << ": a thread never went back to waiting";
        ASSERT_TRUE(start_detached_thread([&] {
            std::lock_guard guard(lock);
            used.insert(std::this_thread::get_id());
            ran = true;
        }));
        ASSERT_TRUE(test::wait_for([&] { return ran.load(); }));
    }
    std::lock_guard guard(lock);
    EXPECT_LE(used.size(), 3u) << "taking the waiting threads in turn keeps all of them warm";
}

}  // namespace
}  // namespace zk
