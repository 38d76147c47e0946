#pragma once
// Who may use the web interface: a live session named by "sessionid=", or HTTP Basic credentials
// equal to the configured user name and password, which open a new session.

#include <string>
#include <string_view>

#include "core/app_settings.h"
#include "web/web_request.h"
#include "web/web_sessions.h"

namespace zk {

enum class AuthResult {
    accepted,   // the request carries its session id and user name
    challenge,  // send the 401 reply
    refused,    // close without a reply
};

// Standard Base64 of "user:password" (RFC 4648 alphabet, "=" padding, no line breaks).
std::string basic_credentials(std::string_view user_name, std::string_view password);

// Compares two secrets in time that depends on neither content.
bool same_secret(std::string_view a, std::string_view b);

// Authenticates `request` (its session text already parsed) against the settings; `header` is
// the request's header block. With `protect` "0" every request is accepted as session 0.
AuthResult authenticate(WebRequest& request, std::string_view header, const AppSettings& settings,
                        SessionTable& sessions);

}  // namespace zk
