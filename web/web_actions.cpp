#include "web/web_actions.h"

#include "web/form_body.h"
#include "web/replies.h"
#include "web/web_pages.h"

namespace zk {
namespace {

struct Found {
    int row = -1;
    bool running = false;
};

// The first mapping with exactly this name in a consistent view of the table.
Found look_up(const ModelSnapshot& s, std::string_view name) {
    const int row = find_mapping(s.mappings, name);
    if (row < 0) return {};
    return {row, s.rows[row][2] == kStatusRunning};
}

class Action {
public:
    Action(int sock, const WebRequest& request, WebActionContext& context)
        : sock_(sock), request_(request), c_(context) {}

    void message(WebMessage kind, std::string_view name) {
        web_send_message(sock_, web_message(kind, name, request_.session_id), c_.send_wait_us);
    }
    void refusal(std::string_view text) {
        web_send_message(sock_, web_refusal(text, request_.session_id), c_.send_wait_us);
    }
    // Runs a start, stop or delete between the hooks the desktop program shows its row by.
    template <typename Command>
    std::optional<std::string> around(int row, Command command) {
        if (c_.hooks.begin) c_.hooks.begin(row);
        auto result = command();
        if (c_.hooks.end) c_.hooks.end(row);
        return result;
    }

    void browse() {
        const ModelSnapshot s = c_.model.snapshot();
        web_send_browse(sock_, browse_page(s.rows, request_.session_id, request_.user_name),
                        c_.send_wait_us);
    }

    void add() {
        web_send_message(sock_, mapping_form_page(nullptr, request_.session_id, request_.user_name),
                         c_.send_wait_us);
    }

    void edit() {
        const ModelSnapshot s = c_.model.snapshot();
        const Found f = look_up(s, request_.mapping_name);
        if (f.row < 0) return;
        if (f.running) return message(WebMessage::stop_to_edit, request_.mapping_name);
        web_send_message(
            sock_, mapping_form_page(&s.mappings[f.row], request_.session_id, request_.user_name),
            c_.send_wait_us);
    }

    void newdone(std::string_view text) {
        const auto name = form_name(text);
        if (!name) return;
        if (name->size() > kMappingNameLimit) return refusal("invalid name, please reenter again!");
        if (look_up(c_.model.snapshot(), *name).row >= 0) return message(WebMessage::exists, *name);
        const auto mapping = parse_mapping_form(text);
        if (auto error = c_.model.add_mapping(*mapping)) {
            // Another request may have added the name since the look-up above.
            if (look_up(c_.model.snapshot(), *name).row >= 0) {
                return message(WebMessage::exists, *name);
            }
            return refusal(*error);
        }
        message(WebMessage::added, *name);
    }

    void updatedone(std::string_view text) {
        const Found f = look_up(c_.model.snapshot(), request_.mapping_name);
        if (f.row < 0) return;
        const auto name = form_name(text);
        if (!name) return;
        if (name->size() > kMappingNameLimit) return refusal("invalid name, please reenter again!");
        // The edit form shows the name read-only: a different one is not this form's.
        if (*name != request_.mapping_name) {
            return refusal("the name of port mapping " + request_.mapping_name +
                           " cannot be changed, please reenter again!");
        }
        // Replacing the record under running listeners would leave them running unseen.
        if (f.running) return message(WebMessage::stop_to_edit, request_.mapping_name);
        if (auto error =
                c_.model.edit_mapping_named(request_.mapping_name, *parse_mapping_form(text))) {
            return refusal(*error);
        }
        message(WebMessage::edited, *name);
    }

    void start() {
        const Found f = look_up(c_.model.snapshot(), request_.mapping_name);
        if (f.row < 0) return;
        if (!f.running) {
            auto error =
                around(f.row, [&] { return c_.model.start_mapping_named(request_.mapping_name); });
            // Deleted meanwhile: like a name that matches nothing. Running already: started.
            if (error && look_up(c_.model.snapshot(), request_.mapping_name).row < 0) return;
        }
        message(WebMessage::started, request_.mapping_name);
    }

    void stop() {
        const Found f = look_up(c_.model.snapshot(), request_.mapping_name);
        if (f.row < 0) return;
        if (f.running) {
            auto error =
                around(f.row, [&] { return c_.model.stop_mapping_named(request_.mapping_name); });
            if (error) return refusal(*error);
        }
        message(WebMessage::stopped, request_.mapping_name);
    }

    void remove() {
        const Found f = look_up(c_.model.snapshot(), request_.mapping_name);
        if (f.row < 0) return;
        if (f.running) return message(WebMessage::stop_to_delete, request_.mapping_name);
        auto error =
            around(f.row, [&] { return c_.model.delete_mapping_named(request_.mapping_name); });
        if (error) return refusal(*error);
        message(WebMessage::deleted, request_.mapping_name);
    }

    void logout() { web_send_logout(sock_, kLogoutText, c_.send_wait_us); }

private:
    const int sock_;
    const WebRequest& request_;
    WebActionContext& c_;
};

}  // namespace

void run_web_action(int sock, const WebRequest& request, std::string_view request_text,
                    WebActionContext& context) {
    Action a(sock, request, context);
    switch (request.action) {
        case WebAction::browse: return a.browse();
        case WebAction::add: return a.add();
        case WebAction::edit: return a.edit();
        case WebAction::newdone: return a.newdone(request_text);
        case WebAction::updatedone: return a.updatedone(request_text);
        case WebAction::start: return a.start();
        case WebAction::stop: return a.stop();
        case WebAction::remove: return a.remove();
        case WebAction::logout: return a.logout();
        case WebAction::none:
        case WebAction::static_file: return;
    }
}

}  // namespace zk
