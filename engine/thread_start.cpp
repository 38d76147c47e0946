#include "engine/thread_start.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace zk {
namespace {

constexpr auto kIdleWait = std::chrono::seconds(10);  // a waiting thread exits after this
constexpr int kMostWaiting = 64;                      // more finished threads exit at once

// Finished threads waiting for work. Guarded by `lock`: `tasks` holds at most one task per
// waiting thread, so every queued task is certain to be taken.
struct WaitingThreads {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    int waiting = 0;
};

WaitingThreads& waiting_threads() {
    static auto* threads = new WaitingThreads;  // never destroyed: threads may outlive main
    return *threads;
}

void run_and_wait_for_more(std::function<void()> task) {
    WaitingThreads& w = waiting_threads();
    for (;;) {
        task();
        task = nullptr;  // release what the task held before waiting
        std::unique_lock guard(w.lock);
        if (w.waiting >= kMostWaiting) return;
        ++w.waiting;
        w.wake.wait_for(guard, kIdleWait, [&] { return !w.tasks.empty(); });
        --w.waiting;
        if (w.tasks.empty()) return;
        task = std::move(w.tasks.front());
        w.tasks.pop_front();
    }
}

void* thread_main(void* raw) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(raw));
    run_and_wait_for_more(std::move(*body));
    return nullptr;
}

bool start_new_thread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, kSessionStackSize);
    pthread_t thread;
    const int error = pthread_create(&thread, &attr, thread_main, owned.get());
    pthread_attr_destroy(&attr);
    if (error != 0) return false;
    owned.release();  // thread_main owns it now
    return true;
}

}  // namespace

bool start_detached_thread(std::function<void()> body) {
    WaitingThreads& w = waiting_threads();
    {
        std::unique_lock guard(w.lock);
        if (w.waiting > static_cast<int>(w.tasks.size())) {
            w.tasks.push_back(std::move(body));
            guard.unlock();
            w.wake.notify_one();  // after unlocking: the woken thread finds the lock free
            return true;
        }
    }
    return start_new_thread(std::move(body));
}

}  // namespace zk
