#pragma once
// One web request as the connection thread sees it: what it asks for, which mapping it names,
// which session it belongs to. Parsing here needs no lock and sends nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

enum class WebAction {
    none,  // an action text not in the table: no reply
    browse,
    add,
    start,
    stop,
    edit,
    remove,  // "action=delete"
    newdone,
    updatedone,
    logout,
    static_file,
};

// Longest request target, credentials token and mapping name taken; longer ones are refused.
inline constexpr std::size_t kTargetLimit = 1023;
inline constexpr std::size_t kTokenLimit = 1023;
inline constexpr std::size_t kMappingNameLimit = 255;

struct WebRequest {
    WebAction action = WebAction::none;
    std::string method;           // "GET", "POST", ... as received
    std::string target;           // as received
    std::string file_path;        // static files: the file under the program's image folder
    std::string mapping_name;     // the "name=" value
    std::string session_text;     // everything after "sessionid="
    std::int32_t session_id = 0;  // the accepted session; 0 when protection is off
    std::string user_name;        // the session's user name
    // True when no live session was named and this request's own credentials (or, without
    // protection, the request alone) opened the session: such a request changes nothing.
    bool fresh_session = false;
};

// The steps before authentication: the method and the target between the first two spaces, the
// static-file rule, then the query's fields ("name", "sessionid", "action"), each split at "&"
// and "=" before it is URL-decoded. Nothing when the request is refused without a reply (no
// request line, a target or name too long, a static target outside the image folder).
std::optional<WebRequest> parse_web_request(std::string_view request, std::string_view program_dir);

// The action an "action" field asks for: browse without one, none for a value not in the table.
WebAction pick_action(const std::optional<std::string>& action);

// The header block of a request: up to and including its blank line (all of it when none).
std::string_view header_block(std::string_view request);

}  // namespace zk
