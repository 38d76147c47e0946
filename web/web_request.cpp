#include "web/web_request.h"

#include <array>
#include <utility>

#include "core/port_mapping.h"
#include "web/static_files.h"
#include "web/web_text.h"

namespace zk {
namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

WebAction pick_action(std::string_view target) {
    if (contains(target, "action=browse") || !contains(target, "action")) return WebAction::browse;
    static constexpr std::array<std::pair<std::string_view, WebAction>, 8> kActions{{
        {"action=add", WebAction::add},
        {"action=start", WebAction::start},
        {"action=stop", WebAction::stop},
        {"action=edit", WebAction::edit},
        {"action=delete", WebAction::remove},
        {"action=newdone", WebAction::newdone},
        {"action=updatedone", WebAction::updatedone},
        {"action=logout", WebAction::logout},
    }};
    for (const auto& [text, action] : kActions) {
        if (contains(target, text)) return action;
    }
    return WebAction::none;
}

std::string_view header_block(std::string_view request) {
    const std::size_t blank = request.find("\r\n\r\n");
    return blank == std::string_view::npos ? request : request.substr(0, blank + 4);
}

std::optional<WebRequest> parse_web_request(std::string_view request,
                                            std::string_view program_dir) {
    const std::size_t first = request.find(' ');
    if (!contains(request, "\r\n") || first == std::string_view::npos) return std::nullopt;
    const std::size_t second = request.find(' ', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    WebRequest r;
    r.target = std::string(request.substr(first + 1, second - first - 1));
    if (r.target.size() > kTargetLimit) return std::nullopt;

    if (contains(r.target, "image")) {
        auto path = static_file_path(program_dir, r.target);
        if (!path) return std::nullopt;
        r.action = WebAction::static_file;
        r.file_path = std::move(*path);
        return r;
    }

    url_decode(r.target);
    if (const std::size_t at = r.target.find("name="); at != std::string::npos) {
        const std::size_t end = r.target.find('&', at + 5);
        if (end == std::string::npos) return std::nullopt;
        r.mapping_name = r.target.substr(at + 5, end - at - 5);
        if (r.mapping_name.size() > kMappingNameLimit) return std::nullopt;
    }
    if (const std::size_t at = r.target.find("sessionid="); at != std::string::npos) {
        r.session_text = r.target.substr(at + 10);
    }
    r.action = pick_action(r.target);
    return r;
}

}  // namespace zk
