#include "engine/thread_start.h"

#include <pthread.h>

#include <memory>

namespace zk {
namespace {
void* run_body(void* raw) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(raw));
    (*body)();
    return nullptr;
}
}  // namespace

bool start_detached_thread(std::function<void()> body, std::size_t stack_size) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, stack_size);
    pthread_t thread;
    const int error = pthread_create(&thread, &attr, run_body, owned.get());
    pthread_attr_destroy(&attr);
    if (error != 0) return false;
    owned.release();  // run_body owns it now
    return true;
}

}  // namespace zk
