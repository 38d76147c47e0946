#include "web/web_pages.h"
#include "web/web_text.h"

namespace zk {
namespace {

std::string home_link(std::int32_t session_id) {
    return " Click <a href=\"/?action=browse&sessionid=" + std::to_string(session_id) +
           "\">Home</a>";
}

}  // namespace

std::string web_message(WebMessage kind, std::string_view name, std::int32_t session_id) {
    const std::string n = html_escape(name);
    switch (kind) {
        case WebMessage::added:
            return "You have successfully added port mapping " + n + "." + home_link(session_id);
        case WebMessage::exists:
            return "port mapping " + n +
                   " has already exist, click <a href=\"/?action=add&sessionid=" +
                   std::to_string(session_id) + "\">here</a> to add another.";
        case WebMessage::edited:
            return "You have successfully edited port mapping " + n + "." + home_link(session_id);
        case WebMessage::started:
            return "You have successfully started port mapping " + n + "." + home_link(session_id);
        case WebMessage::stopped:
            return "You have successfully stopped port mapping " + n + "." + home_link(session_id);
        case WebMessage::deleted:
            return "You have successfully deleted port mapping " + n + "." + home_link(session_id);
        case WebMessage::stop_to_edit:
            return "Please stop port mapping " + n + " before you edit it." + home_link(session_id);
        case WebMessage::stop_to_delete:
            return "Please stop port mapping " + n + " before you delete it." +
                   home_link(session_id);
    }
    return {};
}

std::string web_refusal(std::string_view text, std::int32_t session_id) {
    return html_escape(text) + home_link(session_id);
}

}  // namespace zk
