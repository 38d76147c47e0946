// Worker threads: every task handed over from many threads at once runs, and the thread that
// finished last takes the next task.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "engine/thread_start.h"
#include "support/wait_for.h"

namespace zk {
namespace {

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

    std::mutex lock;
    std::set<std::thread::id> used;
    for (int i = 0; i < 20; ++i) {
        std::atomic<bool> ran{false};
        // Time for the last one to be waiting again.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
