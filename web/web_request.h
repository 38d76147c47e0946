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
    std::string target;           // URL-decoded, except for static files (as received)
    std::string file_path;        // static files: the file under the program's image folder
    std::string mapping_name;     // the "name=" value
    std::string session_text;     // everything after "sessionid="
    std::int32_t session_id = 0;  // the accepted session; 0 when protection is off
    std::string user_name;        // the session's user name
};

// The steps before authentication: the target between the first two spaces, the static-file
// rule, URL decoding, the mapping name and the session text, and the action. Nothing when the
// request is refused without a reply (no request line, a target or name too long, a "name="
// value without a following "&", a static target outside the image folder).
std::optional<WebRequest> parse_web_request(std::string_view request, std::string_view program_dir);

// The action a decoded target asks for, by the first test that holds.
WebAction pick_action(std::string_view target);

// The header block of a request: up to and including its blank line (all of it when none).
std::string_view header_block(std::string_view request);

}  // namespace zk
