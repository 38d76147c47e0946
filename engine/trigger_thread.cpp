// Body of one trigger thread: the kept-open TCP connection and the empty datagrams.

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "core/port_mapping.h"
#include "engine/brellix_socket.h"
#include "engine/event_log.h"
#include "engine/host_lookup.h"
#include "engine/trigger_state.h"

namespace zk {
namespace {

// A connect under way is checked this often for a stop request, and given up after the limit.
constexpr std::int64_t kConnectCheckUs = 100'000;
constexpr int kConnectChecks = 750;  // 75 s
// What a peer sends on the kept-open connection is dropped, at most this many reads per pass.
constexpr int kMaxDrainReads = 16;

void close_socket(int& sock) {
    if (sock != 0) brellix_socket_close(sock);
    sock = 0;
}

// True when the peer closed or reset the kept-open connection. A zero-length send never notices
// an orderly close, and the trigger sends no data that would draw a reset, so it reads instead.
bool connection_gone(int sock) {
    char discard[4096];
    for (int i = 0; i < kMaxDrainReads; ++i) {
        if (brellix_socket_wait(sock, 1, 0) != kSocketDone) return false;
        std::size_t len = sizeof discard;
        if (brellix_socket_recv(sock, discard, len, 0) != kSocketDone) {
            return errno != EAGAIN && errno != EWOULDBLOCK;  // errno 0: the orderly close
        }
    }
    return false;
}

class TriggerSender {
public:
    TriggerSender(const TriggerState& state, const TriggerRun& run, std::string address, int port)
        : state_(state), run_(run), address_(std::move(address)), port_(port) {}
    ~TriggerSender() {
        close_socket(tcp_);
        close_socket(udp_);
    }
    TriggerSender(const TriggerSender&) = delete;
    TriggerSender& operator=(const TriggerSender&) = delete;

    // Keeps the connection open; false when it had to be given up (the pass then ends).
    bool tcp_pass() {
        if (tcp_ != 0 && connection_gone(tcp_)) close_socket(tcp_);
        if (tcp_ == 0) {
            int sock = 0;
            if (brellix_socket_tcp_create(sock) != kSocketDone) return false;
            if (connect_unless_stopped(sock) != kSocketDone) {
                brellix_socket_close(sock);
                return false;
            }
            tcp_ = sock;
        }
        const int sent = brellix_socket_send_all(tcp_, "", 0, nullptr, state_.limits.write_wait_us);
        if (sent != kSocketDone && sent != kSocketTimeout) {
            close_socket(tcp_);  // the next pass opens a new one
            return false;
        }
        return true;
    }

    void udp_pass() {
        if (udp_ == 0) {
            int sock = 0;
            if (brellix_socket_udp_create(sock) != kSocketDone) return;
            if (brellix_socket_connect(sock, address_.c_str(), port_) != kSocketDone) {
                brellix_socket_close(sock);
                return;
            }
            udp_ = sock;
        }
        const int sent = brellix_socket_udp_send_all(
            udp_, "", 0, nullptr, state_.limits.write_wait_us, address_.c_str(), port_);
        if (sent != kSocketDone && sent != kSocketTimeout) close_socket(udp_);
    }

private:
    // A blocking connect towards an address that never answers would hold the thread for
    // minutes, past any stop request; this one checks for the request while it waits.
    int connect_unless_stopped(int sock) const {
        if (brellix_socket_set_block(sock, 0) != kSocketDone) return kSocketError;
        if (brellix_socket_connect(sock, address_.c_str(), port_) == kSocketDone)
            return kSocketDone;
        if (errno != EINPROGRESS) return kSocketError;
        for (int i = 0; i < kConnectChecks && !state_.should_stop(run_); ++i) {
            const int ready = brellix_socket_wait(sock, 0, kConnectCheckUs);
            if (ready == kSocketError) return kSocketError;
            if (ready == kSocketTimeout) continue;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
                return kSocketError;
            }
            return kSocketDone;
        }
        return kSocketError;
    }

    const TriggerState& state_;
    const TriggerRun& run_;
    const std::string address_;
    const int port_;
    int tcp_ = 0;  // the kept-open connection, 0 when none
    int udp_ = 0;  // the connected datagram socket, 0 when none
};

}  // namespace

void trigger_run(const std::shared_ptr<TriggerState>& state, const std::shared_ptr<TriggerRun>& run,
                 const PortTrigger& copy) {
    const std::string_view protocol = copy.protocol.view();
    const bool tcp = protocol.find("TCP") != std::string_view::npos;
    const bool udp = protocol.find("UDP") != std::string_view::npos;
    // A frequence of 0 (or text that is no number) passes without pause.
    const std::chrono::milliseconds period(std::max(0, text_to_int(copy.frequence)));
    {
        // A name (a text starting with a letter) is looked up once per thread.
        TriggerSender sender(
            *state, *run,
            address_or_text(state->resolver, copy.trigger_address.str(), LetterAt::first),
            text_to_int(copy.trigger_port));
        log_event("start port triggering[%s], trigger address is %s, trigger port is %s\n",
                  copy.name.c_str(), copy.trigger_address.c_str(), copy.trigger_port.c_str());
        do {
            // A TCP step that gave up its connection ends the pass before the UDP step.
            if ((!tcp || sender.tcp_pass()) && udp) sender.udp_pass();
        } while (!state->pause(*run, period));

        state->end_pause();
        log_event("stop port triggering[%s], trigger address is %s, trigger port is %s\n",
                  copy.name.c_str(), copy.trigger_address.c_str(), copy.trigger_port.c_str());
    }
    state->thread_ended(run);
}

}  // namespace zk
