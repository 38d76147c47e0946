// zelkorad: the headless program. Runs in the foreground; SIGTERM, SIGINT and SIGHUP take the
// exit path, which writes config.xml.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_model.h"
#include "daemon/options.h"
#include "daemon/report.h"
#include "daemon/router_command.h"
#include "daemon/stderr_sink.h"
#include "engine/event_log.h"
#include "platform/alert_sound.h"
#include "platform/certificate_commands.h"
#include "platform/descriptor_limit.h"
#include "platform/descriptor_reserve.h"
#include "platform/instance_lock.h"
#include "platform/program_dir.h"
#include "platform/program_setup.h"
#include "web/web_server.h"

namespace {

using namespace std::chrono_literals;

// Below this many open files a busy forwarder runs out: say so in the event log.
constexpr unsigned long long kFewDescriptors = 4096;
// How long the start-up summary waits for automatic starts to report (name lookups included).
constexpr auto kStartSettleLimit = 10s;

int check(const std::string& program_dir) {
    zk::StderrSink sink(false);
    zk::SystemAlertSound alert;
    zk::AppModel model(program_dir, sink, alert);
    model.load_files();
    std::fputs(zk::check_report(model.snapshot()).c_str(), stdout);
    return sink.count() == 0 ? 0 : 1;
}

// Runs one certificate command with `program_dir` set up as for a start, but without taking the
// instance lock: a running copy must not keep the user from making files.
int make_certificate(const std::string& program_dir, const zk::CertificateCommand& command) {
    if (const auto error = zk::prepare_program_directory(program_dir, zk::executable_directory())) {
        std::fprintf(stderr, "zelkorad: %s\n", error->c_str());
        return 1;
    }
    const std::vector<std::string>& a = command.arguments;
    zk::CertificateOutcome outcome;
    switch (command.action) {
        case zk::CertificateAction::key: outcome = zk::create_private_key(program_dir, a[0]); break;
        case zk::CertificateAction::request:
            outcome = zk::create_request(program_dir, zk::CertificateRole::server, a[0], a[1]);
            break;
        case zk::CertificateAction::root:
            outcome = zk::create_root_certificate(program_dir, a[0]);
            break;
        case zk::CertificateAction::sign:
            outcome = zk::sign_certificate(program_dir, a[0], a[1],
                                           zk::root_certificate_path(program_dir, a[2]),
                                           zk::root_key_path(program_dir, a[2]));
            break;
    }
    if (!outcome.command_line.empty()) std::printf("%s\n", outcome.command_line.c_str());
    std::fputs(outcome.output.c_str(), stdout);
    if (!outcome.output.empty() && outcome.output.back() != '\n') std::fputs("\n", stdout);
    std::fflush(stdout);
    if (!outcome.succeeded) {
        std::fputs("zelkorad: the certificate command failed\n", stderr);
        return 1;
    }
    return 0;
}

int run(const std::string& program_dir) {
    // Block the exit signals in every thread the program will start, then wait for them here.
    sigset_t exit_signals;
    sigemptyset(&exit_signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&exit_signals, s);
    pthread_sigmask(SIG_BLOCK, &exit_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (const auto error = zk::prepare_program_directory(program_dir, zk::executable_directory())) {
        std::fprintf(stderr, "zelkorad: %s\n", error->c_str());
        return 1;
    }
    zk::InstanceLock lock(program_dir);
    if (!lock.held()) {
        if (lock.error() == EWOULDBLOCK) {
            std::fprintf(stderr, "zelkorad: another copy is running with %s\n",
                         program_dir.c_str());
        } else {
            std::fprintf(stderr, "zelkorad: cannot lock %s: %s\n", program_dir.c_str(),
                         std::strerror(lock.error()));
        }
        return 1;
    }

    const auto limit = zk::raise_descriptor_limit();
    zk::hold_descriptor_reserve();
    zk::StderrSink sink(true);
    zk::SystemAlertSound alert;
    zk::AppModel model(program_dir, sink, alert);
    model.start_up();
    if (limit && limit->soft < kFewDescriptors) {
        // Each relayed session holds two sockets.
        zk::log_event(
            "the hard limit of open files is %llu: at most about %llu sessions can be "
            "relayed at once.\n",
            static_cast<unsigned long long>(limit->soft),
            static_cast<unsigned long long>(limit->soft / 2));
    }
    // With enable_web "1" the web interface starts too; a listen failure has gone to the sink.
    const auto web = zk::start_web_interface(model, sink, {.program_dir = program_dir});
    // The summary shows each mapping as it is, once its listeners have reported.
    model.wait_for_starts(kStartSettleLimit);
    std::fputs(zk::loaded_summary(model.snapshot()).c_str(), stdout);
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&exit_signals, &signal) != 0) {
    }
    zk::release_descriptor_reserve();  // the save needs a descriptor even when none is left
    const int error = model.save_configuration();
    if (error != 0) {
        std::fprintf(stderr, "zelkorad: cannot write %s: %s\n", model.config_path().c_str(),
                     std::strerror(error));
    }
    std::fflush(nullptr);
    // Running mappings are not stopped first: their threads end with the process.
    std::_Exit(error == 0 ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = zk::parse_daemon_options({argv + 1, argv + argc}, error);
    if (!options) {
        std::fprintf(stderr, "zelkorad: %s\n%s", error.c_str(), zk::daemon_usage().c_str());
        return 2;
    }
    switch (options->command) {
        case zk::DaemonCommand::help: std::fputs(zk::daemon_usage().c_str(), stdout); return 0;
        case zk::DaemonCommand::version: std::fputs(zk::daemon_version().c_str(), stdout); return 0;
        case zk::DaemonCommand::check: return check(zk::program_directory(options->home));
        case zk::DaemonCommand::router: return zk::run_router(options->gateway_search);
        case zk::DaemonCommand::certificate:
            return make_certificate(zk::program_directory(options->home), *options->certificate);
        case zk::DaemonCommand::run: break;
    }
    return run(zk::program_directory(options->home));
}
