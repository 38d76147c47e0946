#include "ui/web_server_switch.h"

namespace zk {

WebServerSwitch::WebServerSwitch(AppModel& model, MessageSink& sink, WebServerOptions options)
    : server_(std::make_unique<WebServer>(model, sink, std::move(options))) {}

bool WebServerSwitch::running() const {
    return server_->running();
}

bool WebServerSwitch::start(const std::string& port_text) {
    // A server that is running already would keep its old port.
    server_->stop();
    return server_->start(port_text);
}

void WebServerSwitch::stop() {
    server_->stop();
}

bool WebServerSwitch::start_if_enabled() {
    return server_->start_if_enabled();
}

}  // namespace zk
