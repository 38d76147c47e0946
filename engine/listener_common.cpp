#include "engine/listener_common.h"

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "engine/admission.h"
#include "engine/brellix_socket.h"
#include "engine/event_log.h"
#include "engine/routing.h"
#include "engine/session_lines.h"

namespace zk {

void wait_for_work(const ListenerCopy& copy, int sock, std::chrono::milliseconds limit) {
    pollfd fds[2] = {{copy.wake_fd, POLLIN, 0}, {sock, POLLIN, 0}};
    const nfds_t count = sock > 0 ? 2 : 1;
    if (::poll(fds, count, static_cast<int>(limit.count())) > 0 && (fds[0].revents & POLLIN)) {
        copy.clear_wake();
    }
}

bool end_session_threads(ListenerCopy& copy, std::chrono::milliseconds limit) {
    std::vector<std::shared_ptr<SessionInfo>> sessions;
    {
        std::lock_guard guard(copy.sessions_lock);
        sessions = copy.sessions;
    }
    for (const auto& s : sessions) {
        socket_shutdown_field(s->client_socket);
        socket_shutdown_field(s->destination_socket);
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    for (const auto& s : sessions) {
        while (s->live_threads.load() > 0) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

void reap_sessions(EngineState& state, ListenerCopy& copy) {
    std::vector<std::shared_ptr<SessionInfo>> ended;
    {
        std::lock_guard guard(copy.sessions_lock);
        std::erase_if(copy.sessions, [&](const std::shared_ptr<SessionInfo>& s) {
            if (!s->ended()) return false;
            ended.push_back(s);
            return true;
        });
    }
    for (const auto& s : ended) {
        session_count_add(state, *copy.run, -1);
        log_session_line(copy, *s, "stopped");
    }
}

bool admit_client(EngineState& state, ListenerCopy& copy, const std::string& address, int port,
                  int connection) {
    Admission result = check_session_limit(copy.mapping, copy.run->session_count.load());
    if (result == Admission::admitted) result = check_ip_strategy(copy.mapping, address);
    if (result == Admission::admitted) return true;
    if (connection > 0) brellix_socket_close(connection);
    log_event("%s", rejection_line(result, address, port, copy.run->name).c_str());
    if (result != Admission::beyond_limit && state.voice_notify.load()) {
        state.events.play_alert(copy.alert_path);
    }
    return false;
}

void choose_session_destination(ListenerCopy& copy, SessionInfo& session) {
    if (smart_route_on(copy.mapping)) {
        if (const auto d = choose_destination(copy.mapping, session.client_address,
                                              copy.round_robin_counter)) {
            session.d_ip = d->d_ip;
            session.d_port = d->d_port;
        }
    }
    ++copy.round_robin_counter;
}

void start_session(EngineState& state, ListenerCopy& copy,
                   const std::shared_ptr<SessionInfo>& session, std::function<void()> body) {
    {
        std::lock_guard guard(copy.sessions_lock);
        copy.sessions.push_back(session);
    }
    session->live_threads = 1;
    if (state.spawn(std::move(body))) {
        log_session_line(copy, *session, "started");
    } else {
        session->live_threads = 0;
        socket_shutdown_field(session->client_socket);
        socket_shutdown_field(session->destination_socket);
    }
    session_count_add(state, *copy.run, +1);
}

}  // namespace zk
