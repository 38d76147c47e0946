#pragma once
// The desktop's switch over its web server: what the web settings dialog turns on and off. A
// seam of its own, so the dialog can be driven against a server on loopback or a stand-in.
//
// Threading: UI thread only.

#include <memory>
#include <string>

#include "app/app_model.h"
#include "core/message_sink.h"
#include "web/web_server.h"

namespace zk {

class WebSwitch {
public:
    virtual ~WebSwitch() = default;
    virtual bool running() const = 0;
    // (Re)starts the server on `port_text`. False when listening failed; the server has told
    // the user already.
    virtual bool start(const std::string& port_text) = 0;
    // Ends the listener before returning.
    virtual void stop() = 0;
};

// The real one: one WebServer for the whole run, reading the credentials from the model's
// settings per request.
class WebServerSwitch final : public WebSwitch {
public:
    // `model` and `sink` must outlive the switch.
    WebServerSwitch(AppModel& model, MessageSink& sink, WebServerOptions options);

    bool running() const override;
    bool start(const std::string& port_text) override;
    void stop() override;
    // Program start: listens on the stored port when the web interface is to start with the
    // program (`enable_web` "1").
    bool start_if_enabled();

private:
    std::unique_ptr<WebServer> server_;
};

}  // namespace zk
