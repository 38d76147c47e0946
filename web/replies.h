#pragma once
// The reply framings of the web interface. Each reply is sent whole with waits of at most
// `wait_us` per step; a reply that cannot go out in time is dropped (the connection is closed
// after every reply anyway). No reply carries a Connection header. Pages and messages are
// declared as UTF-8 HTML and may not be framed by another site's page.

#include <cstdint>
#include <string_view>

namespace zk {

inline constexpr std::int64_t kWebWaitUs = 30'000'000;
inline constexpr std::string_view kRealm = "Zelkora Professional";

// "HTTP/1.1 200 ok", "Content-Length:" and the length, a blank line, the text: messages and
// the add and edit forms.
void web_send_message(int sock, std::string_view message, std::int64_t wait_us = kWebWaitUs);
// The same framing with "200 OK": the browse page.
void web_send_browse(int sock, std::string_view page, std::int64_t wait_us = kWebWaitUs);
// "200 ok" with "Content-Length: " (one space): the logout text.
void web_send_logout(int sock, std::string_view text, std::int64_t wait_us = kWebWaitUs);
// A refusal: the status ("403 Forbidden") and a message page, framed like the messages.
void web_send_refused(int sock, std::string_view status, std::string_view message,
                      std::int64_t wait_us = kWebWaitUs);
// The 401 challenge with the realm, no body and no Content-Length.
void web_send_unauthorized(int sock, std::int64_t wait_us = kWebWaitUs);

}  // namespace zk
