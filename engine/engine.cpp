#include "engine/engine.h"

#include <algorithm>
#include <new>
#include <thread>

#include "engine/brellix_socket.h"
#include "engine/engine_state.h"
#include "engine/thread_start.h"

namespace zk {

bool EngineState::stop_requested(std::string_view name) const {
    if (shutting_down.load()) return true;
    std::lock_guard guard(running_lock);
    return stop_posted && stop_name == name;
}

bool EngineState::spawn(std::function<void()> body) {
    threads.fetch_add(1);
    // Holds the state, so the count can drop before the last line of this thread has run.
    auto counted = [self = shared_from_this(), body = std::move(body)]() mutable {
        body();
        body = nullptr;  // what the thread held goes before the count says it has ended
        self->thread_ended();
    };
    try {
        if (start_thread(std::move(counted))) return true;
    } catch (const std::bad_alloc&) {  // no memory for the task: no thread either
    }
    thread_ended();
    return false;
}

void EngineState::thread_ended() {
    if (threads.fetch_sub(1) != 1) return;
    // Taken so the notification cannot fall between a waiter's check and its wait.
    std::lock_guard guard(threads_lock);
    threads_done.notify_all();
}

bool EngineState::wait_for_threads(std::chrono::milliseconds limit) {
    std::unique_lock guard(threads_lock);
    return threads_done.wait_for(guard, limit, [this] { return threads.load() == 0; });
}

void session_count_add(EngineState& state, MappingRun& run, int delta) {
    int count = run.session_count.load();
    while (!run.session_count.compare_exchange_weak(count, std::max(0, count + delta))) {
    }
    state.events.on_session_count(run.name, std::max(0, count + delta));
}

Engine::Engine(std::string program_dir, EngineEvents& events, EngineTimings timings,
               Resolver resolver, ThreadStarter start_thread)
    : state_(std::make_shared<EngineState>(
          std::move(program_dir), events, timings, resolver ? std::move(resolver) : resolve_host,
          start_thread ? std::move(start_thread) : start_detached_thread)) {}

Engine::~Engine() {
    state_->shutting_down = true;
    const EngineTimings& t = state_->timings;
    state_->wait_for_threads(t.idle_step + t.teardown_pause + std::chrono::seconds(5));
}

void Engine::set_voice_notify(bool on) {
    state_->voice_notify = on;
}

void Engine::set_use_system_proxy(bool on) {
    state_->use_system_proxy = on;
}

void Engine::set_environment(EnvironmentLookup environment) {
    std::lock_guard guard(state_->environment_lock);
    state_->environment = std::move(environment);
}

StartResult Engine::start_mapping(const PortMapping& entry, int table_index) {
    const std::vector<int> ports = listen_ports(entry);
    const bool all_ports = !ports.empty() && std::all_of(ports.begin(), ports.end(), [](int p) {
        return p >= 1 && p <= 65535;
    });
    // Port 0 would listen on a port the kernel picks and report success.
    if (!all_ports) return {0, "listen on port " + listen_port_text(entry) + " error!"};

    auto run = std::make_shared<MappingRun>(entry.name.str());
    if (entry.enable_log != "0") {
        // A log file that cannot be opened leaves the mapping running without its dump.
        auto stream = std::make_shared<DumpStream>();
        if (stream->open(entry.log_file.str())) run->log_stream = std::move(stream);
    }
    const bool single = entry.listen_port_type == "0";
    StartResult result;
    for (const int port : ports) {
        auto copy = std::make_shared<ListenerCopy>(entry, table_index, run);
        copy->listen_port = port;
        if (!single) {
            copy->mapping.listen_port = std::to_string(port);
            if (entry.destination_port_type != "0") {
                copy->mapping.destination_port = std::to_string(destination_port_for(entry, port));
            }
        }
        {
            std::lock_guard guard(state_->running_lock);
            state_->running.push_back(copy);
        }
        auto state = state_;
        if (!state_->spawn([state, copy] { mapping_listener_main(state, copy); })) {
            std::lock_guard guard(state_->running_lock);
            std::erase(state_->running, copy);
            result.error = "cannot start port mapping[" + run->name + "]: no thread for port " +
                           std::to_string(port) + "!";
            break;  // later ports would fail alike
        }
        ++result.copies_started;
    }
    return result;
}

void Engine::stop_mapping(const PortMapping& entry, int table_index) {
    std::lock_guard serial(state_->stop_serial);
    const std::string name = entry.name.str();
    {
        std::lock_guard guard(state_->running_lock);
        state_->stop_name = name;
        state_->stop_posted = true;
    }
    std::this_thread::sleep_for(state_->timings.stop_hold);
    state_->events.on_mapping_status(table_index, name, "stop");
    {
        std::lock_guard guard(state_->running_lock);
        for (const auto& copy : state_->running) {
            if (copy->run->name == name) copy->run->session_count = 0;
        }
    }
    state_->events.on_session_count(name, 0);
    std::lock_guard guard(state_->running_lock);
    state_->stop_posted = false;
    state_->stop_name.clear();
}

bool Engine::stop_requested(std::string_view name) const {
    return state_->stop_requested(name);
}

int Engine::running_copies() const {
    std::lock_guard guard(state_->running_lock);
    return static_cast<int>(state_->running.size());
}

std::vector<SessionView> Engine::sessions() const {
    std::vector<std::shared_ptr<ListenerCopy>> copies;
    {
        std::lock_guard guard(state_->running_lock);
        copies = state_->running;
    }
    std::vector<SessionView> views;
    for (const auto& copy : copies) {
        std::lock_guard guard(copy->sessions_lock);
        for (const auto& s : copy->sessions) {
            views.push_back({copy->run->name, s->client_address, s->client_port,
                             s->incoming_bytes.load(), s->outgoing_bytes.load()});
        }
    }
    return views;
}

}  // namespace zk
