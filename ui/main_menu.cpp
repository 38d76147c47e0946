#include "ui/main_menu.h"

#include <unistd.h>

#include "engine/event_log.h"
#include "platform/autostart.h"
#include "platform/service_unit.h"
#include "ui/floating_window.h"
#include "ui/log_follower_window.h"
#include "ui/monitor_window.h"
#include "ui/often_used_ports_window.h"
#include "ui/option_dialog.h"
#include "ui/port_tester_dialog.h"
#include "ui/port_triggers_window.h"
#include "ui/router_window.h"
#include "ui/view_ip_dialog.h"
#include "ui/web_settings_dialog.h"

namespace zk {
namespace {

void log_failure(const std::optional<std::string>& message) {
    if (message) log_event("%s\n", message->c_str());
}

}  // namespace

MainMenu::MainMenu(AppModel& model, ModelRelay& relay, DesktopSeams& seams,
                   const DesktopSetup& setup, TrafficSampler& sampler, CTheTop& floating,
                   std::function<void(const PortMapping&)> add_mapping, QWidget* window)
    : QMenu(window),
      model_(model),
      relay_(relay),
      seams_(seams),
      setup_(setup),
      sampler_(sampler),
      floating_(floating),
      add_mapping_(std::move(add_mapping)),
      window_(window) {
    setObjectName("main_menu");
    if (::access(dovreth_path().c_str(), X_OK) == 0)
        addAction("Open Dovreth", this, &MainMenu::open_dovreth);
    if (setup_.web) addAction("Web Maintain and Operation", this, &MainMenu::open_web_settings);
    addAction("Zelkora Monitor", this, &MainMenu::open_monitor);
    addAction("View Often Used Ports", this, &MainMenu::open_often_used_ports);
    addAction("View IP", this, &MainMenu::open_view_ip);
    addAction("Port Triggers", this, &MainMenu::open_port_triggers);
    addAction("Router Port Mappings", this, &MainMenu::open_router_window);
    addAction("Port Forwarding Tester", this, &MainMenu::open_port_tester);
    auto* log = addMenu("System Log");
    log->addAction("View System Log", this, &MainMenu::view_system_log);
    log->addAction("Tail System Log", this, &MainMenu::tail_system_log);
    auto* service = addMenu("Run as a Service");
    service->addAction("install", this, &MainMenu::install_service);
    service->addAction("uninstall", this, &MainMenu::uninstall_service);
    addAction("Option", this, &MainMenu::open_options);
}

std::string MainMenu::dovreth_path() const {
    return model_.program_dir() + "dovreth/bin/Dovreth";
}

std::string MainMenu::system_log_path() const {
    return model_.program_dir() + "log/zk-gate.log";
}

void MainMenu::open_options() {
    COption dialog(model_.settings(), window_);
    if (dialog.exec() != QDialog::Accepted) return;
    const AppSettings settings = dialog.settings();
    if (const auto error = model_.change_settings(settings))
        seams_.messages.show_message(*error, "", MessageIcon::error);
    if (is_set(settings.top_window)) {
        floating_.show_at_top_right();
    } else {
        floating_.hide_window();
    }
    log_failure(set_autostart(is_set(settings.auto_startup), setup_.executable, setup_.home));
}

void MainMenu::open_web_settings() {
    zk::open_web_settings(model_, *setup_.web, seams_, window_);
}

void MainMenu::open_monitor() {
    CMonitor(model_, sampler_, setup_.timings.monitor_refresh, window_).exec();
}

void MainMenu::open_often_used_ports() {
    zk::open_often_used_ports(
        model_.program_dir(), seams_,
        [this](const PortsEntry& entry) {
            PortMapping named;
            named.name = entry.name;
            add_mapping_(suggest_mapping(entry).value_or(named));
        },
        window_);
}

void MainMenu::open_view_ip() {
    zk::open_view_ip(window_);
}

void MainMenu::open_router_window() {
    zk::open_router_window(setup_.upnp, seams_, window_);
}

void MainMenu::open_port_tester() {
    zk::open_port_tester(model_, setup_.upnp, setup_.port_tester_host, seams_, window_);
}

void MainMenu::open_port_triggers() {
    zk::open_port_triggers(model_, relay_, seams_, window_);
}

void MainMenu::view_system_log() {
    if (!seams_.processes.launch({"xdg-open", system_log_path()}))
        log_event("cannot start xdg-open for %s\n", system_log_path().c_str());
}

void MainMenu::tail_system_log() {
    auto* follower = new LogFollowerWindow(system_log_path(), setup_.timings.log_follow, window_);
    follower->show();
}

void MainMenu::install_service() {
    log_failure(zk::install_service(service_place(), setup_.daemon_path, model_.program_dir(),
                                    seams_.processes));
}

void MainMenu::uninstall_service() {
    log_failure(zk::uninstall_service(service_place(), seams_.processes));
}

void MainMenu::open_dovreth() {
    seams_.processes.launch({dovreth_path()});
}

}  // namespace zk
