// The built zelkora program as a user starts it: one copy per program directory, a second start
// handing over to the first, zelkorad's directory refused, SIGTERM taking the exit path.

#include <unistd.h>
#include <QProcess>
#include <QtTest>
#include <csignal>

#include "core/config_file.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/temp_dir.h"
#include "ui/single_instance.h"

using namespace zk;

namespace {

constexpr int kLimitMs = 60000;

// A program directory whose config.xml holds one mapping and no web interface.
void prepare(const test::TempDir& dir) {
    PortMapping m = test::relay_mapping("TCP", "kept", test::free_port(), "127.0.0.1", 9);
    save_configuration(dir.file("config.xml"), AppSettings{}, {m}, {});
}

void start(QProcess& process, const char* program, const test::TempDir& dir) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(QString(ZK_PROGRAM_DIR "/") + program,
                  {"--home", QString::fromStdString(dir.dir())});
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void second_instance_asks_the_first_to_show();
    void second_start_hands_over_and_sigterm_saves();
    void directory_of_a_running_daemon_is_refused();
};

void StartupTest::second_instance_asks_the_first_to_show() {
    test::TempDir dir;
    SingleInstance first(dir.dir());
    QCOMPARE(first.outcome(), SingleInstance::Outcome::first);
    QSignalSpy raised(&first, &SingleInstance::raise_requested);
    SingleInstance second(dir.dir());
    QCOMPARE(second.outcome(), SingleInstance::Outcome::raised);
    QVERIFY(raised.wait(kLimitMs));

    test::TempDir missing;
    std::filesystem::remove_all(missing.dir());
    SingleInstance nowhere(missing.dir() + "no/such/");
    QCOMPARE(nowhere.outcome(), SingleInstance::Outcome::failed);
    QCOMPARE(nowhere.error(), ENOENT);
}

void StartupTest::second_start_hands_over_and_sigterm_saves() {
    test::TempDir dir;
    prepare(dir);
    QProcess first;
    start(first, "zelkora", dir);
    QVERIFY(first.waitForStarted(kLimitMs));
    QTRY_VERIFY_WITH_TIMEOUT(exists(dir.file(".zelkora.sock")), kLimitMs);

    QProcess second;
    start(second, "zelkora", dir);
    QVERIFY(second.waitForFinished(kLimitMs));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    ::unlink(dir.file("config.xml").c_str());
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    QVERIFY(first.waitForFinished(kLimitMs));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    QVERIFY(test::read_file(dir.file("config.xml")).find("\"kept\"") != std::string::npos);
}

void StartupTest::directory_of_a_running_daemon_is_refused() {
    test::TempDir dir;
    prepare(dir);
    QProcess daemon;
    start(daemon, "zelkorad", dir);
    QVERIFY(daemon.waitForStarted(kLimitMs));
    // The daemon prints its summary once it holds the directory and has started.
    QVERIFY(daemon.waitForReadyRead(kLimitMs));

    QProcess desktop;
    start(desktop, "zelkora", dir);
    QVERIFY(desktop.waitForFinished(kLimitMs));
    QCOMPARE(desktop.exitCode(), 1);
    QVERIFY2(desktop.readAllStandardError().contains("is running with"), "refusal message");

    daemon.terminate();
    QVERIFY(daemon.waitForFinished(kLimitMs));
    // With the daemon gone the directory is free again.
    QProcess later;
    start(later, "zelkora", dir);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dir.file(".zelkora.sock")), kLimitMs);
    later.terminate();
    QVERIFY(later.waitForFinished(kLimitMs));
    QCOMPARE(later.exitCode(), 0);
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
