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

WebAction pick_action(const std::optional<std::string>& action) {
    if (!action) return WebAction::browse;
    static constexpr std::array<std::pair<std::string_view, WebAction>, 9> kActions{{
        {"browse", WebAction::browse},
        {"add", WebAction::add},
        {"start", WebAction::start},
        {"stop", WebAction::stop},
        {"edit", WebAction::edit},
        {"delete", WebAction::remove},
        {"newdone", WebAction::newdone},
        {"updatedone", WebAction::updatedone},
        {"logout", WebAction::logout},
    }};
    for (const auto& [text, picked] : kActions) {
        if (*action == text) return picked;
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
    r.method = std::string(request.substr(0, first));
    r.target = std::string(request.substr(first + 1, second - first - 1));
    if (r.target.size() > kTargetLimit) return std::nullopt;

    if (contains(r.target, "image")) {
        auto path = static_file_path(program_dir, r.target);
        if (!path) return std::nullopt;
        r.action = WebAction::static_file;
        r.file_path = std::move(*path);
        return r;
    }

    const std::size_t query = r.target.find('?');
    std::optional<std::string> name, session, action;
    if (query != std::string::npos) {
        // The first field of each name counts; later repeats are ignored.
        for (FormField& field : split_form(std::string_view(r.target).substr(query + 1))) {
            std::optional<std::string>* slot = field.key == "name"        ? &name
                                               : field.key == "sessionid" ? &session
                                               : field.key == "action"    ? &action
                                                                          : nullptr;
            if (slot != nullptr && !*slot) *slot = std::move(field.value);
        }
    }
    r.mapping_name = name.value_or("");
    r.session_text = session.value_or("");
    if (r.mapping_name.size() > kMappingNameLimit) return std::nullopt;
    r.action = pick_action(action);
    return r;
}

}  // namespace zk
