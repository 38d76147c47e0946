#pragma once
// Which requests may change the mappings. Browsers resend cached credentials with any request,
// so credentials alone prove nothing about who built a request: a change runs only when the
// request names a live session that one of our pages carried, comes by POST when it is a form,
// and does not come from a page of another site.

#include <optional>
#include <string_view>

#include "web/web_request.h"

namespace zk {

// start, stop, delete, newdone and updatedone.
bool changes_state(WebAction action);

// The text to refuse `request` with, or nothing when it may run. `header` is its header block;
// the session must already be authenticated.
std::optional<std::string_view> action_refusal(const WebRequest& request, std::string_view header);

}  // namespace zk
