#pragma once
// The web sessions: one per successful login, carried in links as "sessionid=". A session lives
// 120 seconds from its login, however busy it is.
//
// Threading: every function may be called from any thread; one lock guards the table.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zk {

inline constexpr std::int64_t kSessionLifetimeSeconds = 120;
// Sessions held at once; a login beyond it ends the oldest session.
inline constexpr std::size_t kSessionLimit = 256;

// Seconds since 1970-01-01 UTC; the system clock unless a test injects one.
using WebClock = std::function<std::int64_t()>;
// A new session id: a positive 31-bit number nobody can guess, or nothing when the random
// generator fails. OpenSSL's generator unless a test injects one.
using SessionIdSource = std::function<std::optional<std::int32_t>()>;

std::int64_t system_seconds();
std::optional<std::int32_t> random_session_id();

struct WebSession {
    std::int32_t id = 0;
    std::int64_t login_time = 0;  // for the expiry
    std::string user_name;
};

class SessionTable {
public:
    SessionTable(WebClock clock, SessionIdSource ids)
        : clock_(std::move(clock)), ids_(std::move(ids)) {}

    void clear();
    // Appends a session for `user_name` with a new id, dropping the oldest when the table holds
    // kSessionLimit; nothing when no id could be made.
    std::optional<WebSession> open(const std::string& user_name);
    // The first live session with this id.
    std::optional<WebSession> find(std::int32_t id) const;
    // Removes every session with this id; returns how many went.
    int remove(std::int32_t id);
    // Drops the sessions whose lifetime has passed, keeping the order of the rest.
    void sweep();
    std::size_t size() const;

private:
    bool live(const WebSession& session, std::int64_t now) const {
        return now - session.login_time < kSessionLifetimeSeconds;
    }

    const WebClock clock_;
    const SessionIdSource ids_;
    mutable std::mutex lock_;  // guards sessions_
    std::vector<WebSession> sessions_;
};

}  // namespace zk
