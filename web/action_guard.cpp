#include "web/action_guard.h"

#include "web/host_check.h"
#include "web/http_headers.h"

namespace zk {
namespace {

// An Origin or Referer names another place than the request's Host. "null" (an opaque origin,
// e.g. a sandboxed frame) is never ours.
bool foreign_source(std::optional<std::string_view> source, std::optional<std::string_view> host) {
    if (!source) return false;
    if (!host) return true;  // nothing to compare with
    const auto authority = url_authority(*source);
    return !authority || !same_authority(*authority, *host);
}

}  // namespace

bool changes_state(WebAction action) {
    switch (action) {
        case WebAction::start:
        case WebAction::stop:
        case WebAction::remove:
        case WebAction::newdone:
        case WebAction::updatedone: return true;
        default: return false;
    }
}

std::optional<std::string_view> action_refusal(const WebRequest& request, std::string_view header) {
    if (!changes_state(request.action)) return std::nullopt;
    if (request.fresh_session || request.session_id == 0) {
        return "This request did not come from a page of this web interface (its session is "
               "missing or has expired), so nothing was changed.";
    }
    const bool form =
        request.action == WebAction::newdone || request.action == WebAction::updatedone;
    if (form && request.method != "POST") {
        return "A form must be sent with POST, so nothing was changed.";
    }
    const auto host = header_value(header, "Host");
    if (foreign_source(header_value(header, "Origin"), host) ||
        foreign_source(header_value(header, "Referer"), host)) {
        return "This request came from a page of another site, so nothing was changed.";
    }
    return std::nullopt;
}

}  // namespace zk
