#pragma once
// The actions behind the web pages. Each runs through the app model's commands, which take the
// model's lock, so the web, the daemon and the desktop program never see a half-changed table.
// Each sends at most one reply; the caller closes the connection.

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/app_model.h"
#include "web/web_request.h"

namespace zk {

// What the desktop program shows around a web start, stop or delete: it selects the row and
// shows its "Operating..." window from `begin` to `end`. Both are called on connection threads;
// the daemon leaves them empty.
struct WebCommandHooks {
    std::function<void(int row)> begin;
    std::function<void(int row)> end;
};

struct WebActionContext {
    AppModel& model;
    const WebCommandHooks& hooks;
    std::int64_t send_wait_us;
};

// Runs the request's action (not static files, which the connection serves itself).
void run_web_action(int sock, const WebRequest& request, std::string_view request_text,
                    WebActionContext& context);

}  // namespace zk
