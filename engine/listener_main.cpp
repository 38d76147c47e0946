// A listener thread's life: start-up (name resolution, listening socket, "running", the TLS
// context and the upstream proxy of a TCP copy), its TCP or UDP loop, and the teardown that ends
// its sessions.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "engine/brellix_socket.h"
#include "engine/engine_state.h"
#include "engine/event_log.h"
#include "engine/host_lookup.h"
#include "engine/listener_common.h"
#include "engine/routing.h"
#include "engine/ssl_context.h"
#include "platform/descriptor_reserve.h"

namespace zk {
namespace {

using namespace std::chrono_literals;

void teardown(EngineState& state, const std::shared_ptr<ListenerCopy>& copy) {
    copy->ending = true;
    std::this_thread::sleep_for(state.timings.teardown_pause);
    // Shutting the sockets down wakes the session threads, which then finish their current
    // step. A record goes once its threads have ended (or, for a thread stuck in a system call
    // the shutdown cannot reach, when that thread lets go); so does the listening socket.
    const bool all_ended = end_session_threads(*copy, 2s);
    {
        std::lock_guard guard(copy->sessions_lock);
        copy->sessions.clear();
    }
    copy->run->session_count = 0;
    if (all_ended) {
        copy->close_listener();
    } else {
        copy->shut_listener();  // closed when the last thread lets go of the copy
    }
    bool last_of_its_name = true;
    {
        std::lock_guard guard(state.running_lock);
        std::erase(state.running, copy);
        for (const auto& other : state.running) {
            if (other->run->name == copy->run->name) last_of_its_name = false;
        }
    }
    // The row shows "stop" once nothing of the mapping runs: not while other ports of a range
    // are still ending, nor over a start made again while this copy was ending.
    if (last_of_its_name) state.events.on_mapping_stopped(copy->run->name);
}

// True while another copy of the same kind (TCP or UDP) and listen port is ending.
bool ending_copy_holds_port(EngineState& state, const ListenerCopy& copy) {
    const bool tcp = copy.mapping.type == "TCP";
    std::lock_guard guard(state.running_lock);
    return std::any_of(state.running.begin(), state.running.end(), [&](const auto& other) {
        return other.get() != &copy && other->ending.load() &&
               other->listen_port == copy.listen_port && (other->mapping.type == "TCP") == tcp;
    });
}

// Opens the listening socket of the copy's type; false after showing why it failed.
bool open_listener(EngineState& state, ListenerCopy& copy) {
    int sock = 0;
    const bool tcp = copy.mapping.type == "TCP";
    const auto give_up = std::chrono::steady_clock::now() + state.timings.teardown_pause + 5s;
    int result = kSocketError;
    for (;;) {
        result = tcp ? brellix_socket_tcp_listen(sock, copy.listen_port, 100)
                     : brellix_socket_udp_bind(sock, copy.listen_port);
        // A copy of this port that is still ending (a start right after a stop) lets go of the
        // port once its sessions have: wait for that rather than fail the start.
        if (result == kSocketDone || errno != EADDRINUSE || !ending_copy_holds_port(state, copy) ||
            std::chrono::steady_clock::now() >= give_up) {
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    if (result != kSocketDone) {
        state.events.show_message("listen on port " + copy.mapping.listen_port.str() + " error!");
        return false;
    }
    brellix_socket_set_block(sock, 0);
    const int on = 1;
    if (tcp) {
        // Accepted sockets inherit it: a relay passes small writes on at once, as the client
        // made them, instead of holding them back for an acknowledgement.
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    } else {
        ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    copy.listen_fd = sock;
    copy.listen_socket = sock;
    return true;
}

// Makes the copy's TLS context from the PEM files of its role, verifying peers against the root
// certificate when one is set; false after showing which step failed (OpenSSL's reason goes to
// the event log). A tunnel that accepts any peer says so once per start.
bool make_ssl_context(EngineState& state, ListenerCopy& copy) {
    const auto role = ssl_role(copy.mapping);
    if (!role) return true;
    const PortMapping& m = copy.mapping;
    const bool server = *role == SslRole::server;
    SslContextError error = SslContextError::create;
    copy.ssl_context = SslContext::create(*role, (server ? m.server_cer : m.client_cer).str(),
                                          (server ? m.private_key : m.private_key_client).str(),
                                          m.root.str(), error);
    if (copy.ssl_context) {
        if (!copy.ssl_context->verifies_peer() && !copy.run->unauthenticated_noted.exchange(true)) {
            log_event(
                "port mapping %s: the SSL tunnel is not authenticated: no root certificate is set, "
                "so any peer is accepted\n",
                copy.run->name.c_str());
        }
        return true;
    }
    log_event("port mapping[%s] ssl context: %s\n", copy.run->name.c_str(),
              ssl_error_text().c_str());
    state.events.show_message(ssl_context_message(error, copy.run->name));
    return false;
}

// Reads the system proxy setting once per start, for an HTTP-proxy copy that is to chain to it.
void read_upstream_proxy(EngineState& state, ListenerCopy& copy) {
    if (!is_yes(copy.mapping.http_proxy) || !state.use_system_proxy.load()) return;
    EnvironmentLookup environment;
    {
        std::lock_guard guard(state.environment_lock);
        environment = state.environment;
    }
    const auto text = system_proxy_text(environment);
    if (!text) return;
    const auto setting = parse_proxy_setting(*text);
    if (!setting) {
        // Going direct would quietly bypass the proxy the user set; say why it happens.
        log_event("port mapping[%s] ignores the system proxy setting: no host or a bad port.\n",
                  copy.run->name.c_str());
        return;
    }
    const std::string host = address_or_text(state.resolver, setting->host, LetterAt::first);
    copy.upstream_proxy_host = host.substr(0, 251);
    copy.upstream_proxy_port = setting->port.substr(0, 19);
    copy.upstream_proxy_enabled = true;
}

}  // namespace

void mapping_listener_main(const std::shared_ptr<EngineState>& state,
                           const std::shared_ptr<ListenerCopy>& copy) {
    PortMapping& m = copy->mapping;
    copy->alert_path = state->program_dir + "alert.wav";
    copy->destination_host = m.destination_ip.str();

    if (!is_yes(m.http_proxy) && !smart_route_on(m) &&
        names_a_host(m.destination_ip, LetterAt::anywhere)) {
        std::string address;
        if (state->resolver(m.destination_ip.c_str(), address) != kSocketDone) {
            state->events.show_message(
                "translate computer name or website address to ip address error!");
            teardown(*state, copy);
            return;
        }
        copy->replace_destination_ip(address);
    }
    if (!open_listener(*state, *copy)) {
        teardown(*state, copy);
        return;
    }
    state->events.on_mapping_status(copy->table_index, copy->run->name, "running");
    log_event("port mapping[%s] has been successfully started.\n", copy->run->name.c_str());
    if (m.type == "TCP") {
        if (!make_ssl_context(*state, *copy)) {
            copy->close_listener();
            teardown(*state, copy);
            return;
        }
        read_upstream_proxy(*state, *copy);
        // The spare that lets the listener turn clients away when descriptors run out.
        hold_descriptor_reserve();
        tcp_listener_run(state, copy);
    } else {
        udp_listener_run(state, copy);
    }
    teardown(*state, copy);
}

}  // namespace zk
