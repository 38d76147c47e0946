#pragma once
// The main menu behind the toolbar's drop-down button: the web interface's settings, the
// monitor, the system log, the service, the options, and the sibling program when it is
// installed. Windows that later join the program add their items here.
//
// UI thread only.

#include <QMenu>
#include <functional>

#include "app/app_model.h"
#include "ui/desktop_seams.h"
#include "ui/desktop_setup.h"

namespace zk {

class CTheTop;
class ModelRelay;
class TrafficSampler;

class MainMenu final : public QMenu {
    Q_OBJECT
public:
    // `add_mapping` opens the Add dialog filled with a suggestion (the ports catalogue's).
    MainMenu(AppModel& model, ModelRelay& relay, DesktopSeams& seams, const DesktopSetup& setup,
             TrafficSampler& sampler, CTheTop& floating,
             std::function<void(const PortMapping&)> add_mapping, QWidget* window);

    // "Web Maintain and Operation", modal; offered when the program runs a web server.
    void open_web_settings();
    // "Zelkora Monitor", modal.
    void open_monitor();
    // "View Often Used Ports", modeless; a new window each time. Picking an entry opens the Add
    // dialog with its ports.
    void open_often_used_ports();
    // "View IP", modal.
    void open_view_ip();
    // "Port Triggers", modeless; one window at a time.
    void open_port_triggers();
    // "Router Port Mappings": the gateway's forwardings, searched off the UI thread.
    void open_router_window();
    // "Port Forwarding Tester", modal.
    void open_port_tester();

    // "Option": runs the dialog and, on OK, stores the settings, shows or hides the floating
    // window and writes or removes the autostart entry (on every OK, changed or not).
    void open_options();
    void view_system_log();
    void tail_system_log();
    void install_service();
    void uninstall_service();
    void open_dovreth();

    // Where the sibling program would be; its item is offered only when it is there.
    std::string dovreth_path() const;
    std::string system_log_path() const;

private:
    AppModel& model_;
    ModelRelay& relay_;
    DesktopSeams& seams_;
    const DesktopSetup& setup_;
    TrafficSampler& sampler_;
    CTheTop& floating_;
    std::function<void(const PortMapping&)> add_mapping_;
    QWidget* window_;
};

}  // namespace zk
