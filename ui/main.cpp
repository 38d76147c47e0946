// zelkora: the desktop program. One window for the whole run; SIGTERM and SIGINT take the same
// exit path as the Exit button, which writes config.xml.

#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/brellix_socket.h"
#include "platform/alert_sound.h"
#include "platform/descriptor_limit.h"
#include "platform/descriptor_reserve.h"
#include "platform/program_dir.h"
#include "platform/program_setup.h"
#include "ui/desktop_options.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/qt_file_chooser.h"
#include "ui/single_instance.h"
#include "ui/web_server_switch.h"

namespace {

// Refuses to start, on stderr and in a box (a desktop launcher has no terminal). A platform
// without a screen has no one to read the box.
int refuse(const QString& text) {
    std::fprintf(stderr, "zelkora: %s\n", text.toLocal8Bit().constData());
    const QString platform = QGuiApplication::platformName();
    if (platform != "offscreen" && platform != "minimal")
        QMessageBox::critical(nullptr, "Zelkora", text);
    return 1;
}

std::optional<std::string> resolve(const std::string& name) {
    std::string address;
    if (zk::resolve_host(name.c_str(), address) != 0) return std::nullopt;
    return address;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = zk::parse_desktop_options({argv + 1, argv + argc}, error);
    if (!options) {
        std::fprintf(stderr, "zelkora: %s\n%s", error.c_str(), zk::desktop_usage().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(zk::desktop_usage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::fputs("zelkora 2.1.0\n", stdout);
        return 0;
    }

    // Blocked before any thread starts, so only the waiting thread below receives them.
    sigset_t exit_signals;
    sigemptyset(&exit_signals);
    sigaddset(&exit_signals, SIGTERM);
    sigaddset(&exit_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &exit_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Zelkora");
    QApplication::setQuitOnLastWindowClosed(false);

    const std::string program_dir = zk::program_directory(options->home);
    if (const auto setup_error =
            zk::prepare_program_directory(program_dir, zk::executable_directory())) {
        return refuse(QString::fromStdString(*setup_error));
    }
    zk::SingleInstance instance(program_dir);
    switch (instance.outcome()) {
        case zk::SingleInstance::Outcome::first: break;
        case zk::SingleInstance::Outcome::raised: return 0;
        case zk::SingleInstance::Outcome::held_by_other:
            return refuse(QString("Another Zelkora program (zelkorad, or a window that does not "
                                  "answer) is running with %1. Stop it first: two programs on "
                                  "one config.xml would undo each other's changes.")
                              .arg(QString::fromStdString(program_dir)));
        case zk::SingleInstance::Outcome::failed:
            return refuse(
                QString("cannot lock %1: %2")
                    .arg(QString::fromStdString(program_dir), std::strerror(instance.error())));
    }

    zk::raise_descriptor_limit();
    zk::hold_descriptor_reserve();
    zk::QtMessageSink sink;
    zk::QtFileChooser files;
    zk::SystemProcessRunner processes;
    zk::DesktopSeams seams{sink, files, processes, resolve};
    zk::SystemAlertSound alert;
    zk::AppModel model(program_dir, sink, alert);
    zk::DesktopSetup setup{.executable = zk::executable_directory() + "zelkora",
                           .home = options->home,
                           .daemon_path = zk::executable_directory() + "zelkorad",
                           .upnp = zk::search_options(options->gateway_search),
                           .port_tester_host = options->port_tester_host};
    zk::WebServerSwitch web(model, sink, {.program_dir = program_dir});
    setup.web = &web;
    zk::MainWindow window(model, seams, setup);
    QObject::connect(&instance, &zk::SingleInstance::raise_requested, &window,
                     &zk::MainWindow::show_window);
    int exit_code = 0;
    QObject::connect(&window, &zk::MainWindow::exited, &app, [&](bool saved) {
        exit_code = saved ? 0 : 1;
        QApplication::quit();
    });
    std::thread([&window, exit_signals] {
        int signal = 0;
        while (sigwait(&exit_signals, &signal) != 0) {
        }
        QMetaObject::invokeMethod(&window, &zk::MainWindow::exit_program, Qt::QueuedConnection);
    }).detach();

    window.start_up();
    web.start_if_enabled();
    window.show();
    QApplication::exec();
    std::fflush(nullptr);
    // Running mappings are not stopped first: their threads end with the process.
    std::_Exit(exit_code);
}
