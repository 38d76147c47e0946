#pragma once
// Who may use the web interface: a live session named by "sessionid=", or HTTP Basic credentials
// equal to the configured user name and password, which open a new session.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/app_settings.h"
#include "web/login_throttle.h"
#include "web/web_request.h"
#include "web/web_sessions.h"

namespace zk {

enum class AuthResult {
    accepted,   // the request carries its session id and user name
    challenge,  // send the 401 reply
    refused,    // close without a reply
    throttled,  // too many failed logins from this address: refuse for now
};

// Standard Base64 of "user:password" (RFC 4648 alphabet, "=" padding, no line breaks).
std::string basic_credentials(std::string_view user_name, std::string_view password);

// Compares two secrets in time that depends on neither content.
bool same_secret(std::string_view a, std::string_view b);

// Authenticates `request` (its session text already parsed) against the settings; `header` is
// the request's header block and `peer` the client's IPv4 address (host order), whose failed
// logins `throttle` counts. A request that names no live session gets a new one: from correct
// credentials, or with `protect` "0" from the request alone; `fresh_session` then tells so.
// With protection on and an empty user name or password, no login succeeds.
AuthResult authenticate(WebRequest& request, std::string_view header, const AppSettings& settings,
                        SessionTable& sessions, LoginThrottle& throttle, std::uint32_t peer);

}  // namespace zk
