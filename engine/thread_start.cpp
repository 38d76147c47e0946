#include "engine/thread_start.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace zk {
namespace {

constexpr auto kIdleWait = std::chrono::seconds(10);  // a waiting thread exits after this
constexpr std::size_t kMostWaiting = 64;              // more finished threads exit at once

// One waiting thread. Shared with whoever hands it a task, so the hand-over may notify after
// unlocking even when the thread then runs the task and exits at once.
struct Waiter {
    std::condition_variable wake;
    std::function<void()> task;  // guarded by WaitingThreads::lock
};

// Finished threads waiting for work, the most recent last. The most recent gets the next task:
// its stack and pipes are still warm, and threads a busy spell no longer needs idle out.
struct WaitingThreads {
    std::mutex lock;
    std::vector<std::shared_ptr<Waiter>> idle;
};

WaitingThreads& waiting_threads() {
    static auto* threads = new WaitingThreads;  // never destroyed: threads may outlive main
    return *threads;
}

void run_and_wait_for_more(std::function<void()> task) {
    WaitingThreads& w = waiting_threads();
    const auto me = std::make_shared<Waiter>();
    for (;;) {
        task();
        task = nullptr;  // release what the task held before waiting
        std::unique_lock guard(w.lock);
        if (w.idle.size() >= kMostWaiting) return;
        w.idle.push_back(me);
        if (!me->wake.wait_for(guard, kIdleWait, [&] { return me->task != nullptr; })) {
            std::erase(w.idle, me);  // nobody took it off the list: nothing was handed over
            return;
        }
        task = std::move(me->task);
        me->task = nullptr;
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
    std::unique_lock guard(w.lock);
    if (w.idle.empty()) {
        guard.unlock();
        return start_new_thread(std::move(body));
    }
    const std::shared_ptr<Waiter> waiter = std::move(w.idle.back());
    w.idle.pop_back();
    waiter->task = std::move(body);
    guard.unlock();
    waiter->wake.notify_one();  // after unlocking: the woken thread finds the lock free
    return true;
}

}  // namespace zk
