#include "engine/listener_copy.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "engine/brellix_socket.h"

namespace zk {

ListenerCopy::ListenerCopy(PortMapping entry, int index, std::shared_ptr<MappingRun> shared_run)
    : mapping(std::move(entry)),
      table_index(index),
      run(std::move(shared_run)),
      wake_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ListenerCopy::~ListenerCopy() {
    if (wake_fd >= 0) ::close(wake_fd);
    if (listen_fd > 0) ::close(listen_fd);
}

void ListenerCopy::shut_listener() {
    socket_shutdown_field(listen_socket);
}

void ListenerCopy::close_listener() {
    shut_listener();
    if (listen_fd > 0) ::close(listen_fd);
    listen_fd = 0;
}

void ListenerCopy::wake_listener() const {
    if (wake_fd < 0 || wake_pending.exchange(true)) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_fd, &one, sizeof one);
}

void ListenerCopy::clear_wake() const {
    std::uint64_t drained = 0;
    [[maybe_unused]] auto ignored = ::read(wake_fd, &drained, sizeof drained);
    wake_pending = false;  // after the read: a later end writes again
}

std::string ListenerCopy::current_destination_ip() const {
    std::lock_guard guard(sessions_lock);
    return mapping.destination_ip.str();
}

void ListenerCopy::replace_destination_ip(const std::string& address) {
    std::lock_guard guard(sessions_lock);
    mapping.destination_ip = address;
}

}  // namespace zk
