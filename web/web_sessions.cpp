#include "web/web_sessions.h"

#include <openssl/rand.h>

#include <algorithm>
#include <ctime>

namespace zk {

std::int64_t system_seconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::optional<std::int32_t> random_session_id() {
    // 0 means "no session" in links; a zero draw (one in two billion) is drawn again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        unsigned char bytes[4];
        if (RAND_bytes(bytes, sizeof bytes) != 1) return std::nullopt;
        const std::uint32_t value = (std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                     std::uint32_t{bytes[2]} << 8 | bytes[3]) &
                                    0x7fffffffU;
        if (value != 0) return static_cast<std::int32_t>(value);
    }
    return std::nullopt;
}

void SessionTable::clear() {
    std::lock_guard guard(lock_);
    sessions_.clear();
}

std::optional<WebSession> SessionTable::open(const std::string& user_name) {
    const std::optional<std::int32_t> id = ids_();
    if (!id || *id <= 0) return std::nullopt;
    WebSession session{*id, clock_(), user_name};
    std::lock_guard guard(lock_);
    if (sessions_.size() >= kSessionLimit) sessions_.erase(sessions_.begin());
    sessions_.push_back(session);
    return session;
}

std::optional<WebSession> SessionTable::find(std::int32_t id) const {
    const std::int64_t now = clock_();
    std::lock_guard guard(lock_);
    for (const WebSession& s : sessions_) {
        if (s.id == id && live(s, now)) return s;
    }
    return std::nullopt;
}

int SessionTable::remove(std::int32_t id) {
    std::lock_guard guard(lock_);
    return static_cast<int>(
        std::erase_if(sessions_, [id](const WebSession& s) { return s.id == id; }));
}

void SessionTable::sweep() {
    const std::int64_t now = clock_();
    std::lock_guard guard(lock_);
    std::erase_if(sessions_, [&](const WebSession& s) { return !live(s, now); });
}

std::size_t SessionTable::size() const {
    std::lock_guard guard(lock_);
    return sessions_.size();
}

}  // namespace zk
