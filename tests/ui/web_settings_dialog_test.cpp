// "Web Maintain and Operation" over a real model and a real web server on loopback: the
// opening state, start, stop, test, OK and Cancel, and the length limits.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>

#include "app/app_model.h"
#include "core/config_file.h"
#include "core/validation.h"
#include "support/loopback_server.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "ui/desktop_test_support.h"
#include "ui/web_server_switch.h"
#include "ui/web_settings_dialog.h"

Q_DECLARE_METATYPE(std::string)

namespace zk::test {
namespace {

// Wider than the edits' character limits once written in UTF-8: two bytes per character.
QString wide_text(int characters) {
    return QString(characters, QChar(0x00e9));
}

// The reply to "GET /" on 127.0.0.1:port, empty when nothing answers.
std::string http_get(int port) {
    const int fd = connect_to("127.0.0.1", port);
    if (fd < 0) return {};
    ScopedFd connection(fd);
    if (!send_text(fd, "GET / HTTP/1.0\r\n\r\n")) return {};
    return read_some(fd, 1 << 20, 10000);
}

// Whether a web server answers on the port (a page, or a login request when protected).
bool answers(int port) {
    return http_get(port).starts_with("HTTP/1.1 ");
}

// A program directory with config.xml holding `settings`, the model on it and the switch over
// the model's web server; messages of both go to the fake seams' sink.
struct WebDesktop {
    explicit WebDesktop(const AppSettings& settings) {
        save_configuration(dir.file("config.xml"), settings, {}, {});
        model = std::make_unique<AppModel>(dir.dir(), fakes.sink, alert);
        model->load_files();
        web = std::make_unique<WebServerSwitch>(*model, fakes.sink,
                                                WebServerOptions{.program_dir = dir.dir()});
    }
    ~WebDesktop() {
        web.reset();
        model.reset();
    }

    // Opens the dialog modally and runs `steps` inside it; `steps` must close it.
    void run(std::function<void(WebSettingsDialog*)> steps) {
        when_modal<WebSettingsDialog>(std::move(steps));
        open_web_settings(*model, *web, fakes.seams, nullptr);
    }

    TempDir dir;
    FakeSeams fakes;
    SilentAlert alert;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<WebServerSwitch> web;
};

AppSettings stored_settings(const char* port, const char* protect, const char* user,
                            const char* password, const char* enable_web = "0") {
    AppSettings settings;
    settings.web_listen_port = port;
    settings.protect = protect;
    settings.user_name = user;
    settings.password = password;
    settings.enable_web = enable_web;
    return settings;
}

bool enabled(const WebSettingsDialog* dialog, const char* name) {
    return child<QWidget>(dialog, name)->isEnabled();
}

void fill(WebSettingsDialog* dialog, const QString& port, bool protect, const QString& user,
          const QString& password) {
    child<QLineEdit>(dialog, "listen_port")->setText(port);
    child<QRadioButton>(dialog, protect ? "protection" : "no_protection")->click();
    child<QLineEdit>(dialog, "user_name")->setText(user);
    child<QLineEdit>(dialog, "password")->setText(password);
}

}  // namespace

class WebSettingsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void opening_data();
    void opening();
    void radios_enable_the_credentials();
    void start_data();
    void start();
    void stop_ends_the_listener_and_offers_start_again();
    void test_opens_the_local_address_in_the_browser();
    void ok_data();
    void ok();
    void start_if_enabled_follows_the_startup_flag_data();
    void start_if_enabled_follows_the_startup_flag();
};

void WebSettingsDialogTest::opening_data() {
    QTest::addColumn<bool>("protect");
    QTest::addColumn<bool>("startup");
    QTest::addColumn<bool>("running");
    QTest::newRow("protected, startup on, server stopped") << true << true << false;
    QTest::newRow("unprotected, startup off, server running") << false << false << true;
}

void WebSettingsDialogTest::opening() {
    QFETCH(bool, protect);
    QFETCH(bool, startup);
    QFETCH(bool, running);
    const std::string port = std::to_string(free_port());
    WebDesktop d(
        stored_settings(port.c_str(), protect ? "1" : "0", "admin", "secret", startup ? "1" : "0"));
    if (running) QVERIFY(d.web->start(port));
    d.run([&](WebSettingsDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Web Maintain and Operation"));
        auto* port_edit = child<QLineEdit>(dialog, "listen_port");
        QCOMPARE(port_edit->text(), QString::fromStdString(port));
        QCOMPARE(port_edit->maxLength(), 24);
        QCOMPARE(child<QRadioButton>(dialog, "protection")->isChecked(), protect);
        QCOMPARE(child<QRadioButton>(dialog, "no_protection")->isChecked(), !protect);
        QCOMPARE(child<QRadioButton>(dialog, "protection")->text(),
                 QString("protect with user name and password"));
        auto* user = child<QLineEdit>(dialog, "user_name");
        auto* password = child<QLineEdit>(dialog, "password");
        QCOMPARE(user->text(), QString("admin"));
        QCOMPARE(password->text(), QString("secret"));
        QCOMPARE(user->maxLength(), 99);
        QCOMPARE(password->maxLength(), 99);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(user->isEnabled(), protect);
        QCOMPARE(password->isEnabled(), protect);
        QCOMPARE(child<QCheckBox>(dialog, "startup")->isChecked(), startup);
        QCOMPARE(enabled(dialog, "start"), !running);
        QCOMPARE(enabled(dialog, "stop"), running);
        QCOMPARE(enabled(dialog, "test"), running);
        const QString ip = QString::fromStdString(example_ip_address());
        QCOMPARE(child<QLabel>(dialog, "example_hint")->text(),
                 QString("for example: 5678, and if your ip is %1, then you can use "
                         "http://%1:5678 to access the web interface with your web browser.")
                     .arg(ip));
        QCOMPARE(child<QLabel>(dialog, "restart_hint")->text(),
                 QString("if you have changed the listen port, user name or password, please "
                         "click stop button and then click start button to make sure change "
                         "effectived."));
        child<QPushButton>(dialog, "cancel")->click();
    });
    QVERIFY(d.fakes.sink.messages().empty());
    QCOMPARE(d.web->running(), running);
}

void WebSettingsDialogTest::radios_enable_the_credentials() {
    WebDesktop d(stored_settings("80", "0", "", ""));
    d.run([](WebSettingsDialog* dialog) {
        child<QRadioButton>(dialog, "protection")->click();
        QVERIFY(enabled(dialog, "user_name"));
        QVERIFY(enabled(dialog, "password"));
        child<QRadioButton>(dialog, "no_protection")->click();
        QVERIFY(!enabled(dialog, "user_name"));
        QVERIFY(!enabled(dialog, "password"));
        child<QPushButton>(dialog, "cancel")->click();
    });
}

// Start, then Cancel: the message (if any), what is stored while the dialog is open, whether
// the server answers; after Cancel the four copied settings are back and a started server
// stays running.
void WebSettingsDialogTest::start_data() {
    QTest::addColumn<QString>("port");  // "FREE": a free loopback port
    QTest::addColumn<bool>("protect");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<std::string>("message");  // empty: none
    QTest::addColumn<bool>("port_stored");     // web_listen_port holds the new port meanwhile
    QTest::addColumn<bool>("runs");

    QTest::newRow("no protection accepts empty credentials") << "FREE" << false << ""
                                                             << "" << std::string() << true << true;
    QTest::newRow("protected with both credentials") << "FREE" << true << "u2"
                                                     << "p2" << std::string() << true << true;
    QTest::newRow("protected, empty password: the port is stored anyway")
        << "FREE" << true << "u2"
        << "" << std::string("please input password!") << true << false;
    QTest::newRow("protected, empty user name")
        << "FREE" << true << ""
        << "p2" << std::string("please input user name!") << true << false;
    QTest::newRow("empty port") << "" << false << ""
                                << "" << std::string("please input listen port!") << false << false;
    QTest::newRow("port wider than its field")
        << wide_text(13) << false << ""
        << "" << std::string("the listen port is longer than 24 characters, please reenter again!")
        << false << false;
    QTest::newRow("user name wider than its field")
        << "FREE" << true << wide_text(50) << "p2"
        << std::string("the user name is longer than 99 characters, please reenter again!") << false
        << false;
    QTest::newRow("password wider than its field")
        << "FREE" << false << "" << wide_text(50)
        << std::string("the password is longer than 99 characters, please reenter again!") << false
        << false;
    QTest::newRow("a port that cannot be listened on")
        << "web" << false << ""
        << "" << std::string("listen on port web error!") << true << false;
}

void WebSettingsDialogTest::start() {
    QFETCH(QString, port);
    QFETCH(bool, protect);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(std::string, message);
    QFETCH(bool, port_stored);
    QFETCH(bool, runs);
    const int free = free_port();
    if (port == "FREE") port = QString::number(free);
    WebDesktop d(stored_settings("18080", "1", "admin", "secret", "1"));
    const AppSettings before = d.model->settings();
    d.run([&](WebSettingsDialog* dialog) {
        fill(dialog, port, protect, user, password);
        child<QPushButton>(dialog, "start")->click();
        const AppSettings meanwhile = d.model->settings();
        QCOMPARE(QString::fromStdString(meanwhile.web_listen_port.str()),
                 port_stored ? port : QString("18080"));
        if (message.empty()) {
            QVERIFY(d.fakes.sink.messages().empty());
            QCOMPARE(meanwhile.protect.str(), std::string(protect ? "1" : "0"));
            QCOMPARE(QString::fromStdString(meanwhile.user_name.str()), user);
        } else {
            QCOMPARE(d.fakes.sink.messages(), std::vector<std::string>{message});
            QCOMPARE(d.fakes.sink.titles(), std::vector<std::string>{kErrorTitle});
        }
        QCOMPARE(d.web->running(), runs);
        QCOMPARE(enabled(dialog, "start"), !runs);
        QCOMPARE(enabled(dialog, "stop"), runs);
        QCOMPARE(enabled(dialog, "test"), runs);
        if (runs) QVERIFY(answers(free));
        child<QPushButton>(dialog, "cancel")->click();
    });
    QCOMPARE(d.model->settings(), before);
    QCOMPARE(d.web->running(), runs);
}

void WebSettingsDialogTest::stop_ends_the_listener_and_offers_start_again() {
    const int port = free_port();
    WebDesktop d(stored_settings(std::to_string(port).c_str(), "0", "", ""));
    d.run([&](WebSettingsDialog* dialog) {
        child<QPushButton>(dialog, "start")->click();
        QVERIFY(answers(port));
        child<QPushButton>(dialog, "stop")->click();
        QVERIFY(!d.web->running());
        const ScopedFd refused(connect_to("127.0.0.1", port));
        QCOMPARE(refused.get(), -1);
        QVERIFY(enabled(dialog, "start"));
        QVERIFY(!enabled(dialog, "stop"));
        QVERIFY(!enabled(dialog, "test"));
        // Nothing to wait for: the port is free again at once.
        child<QPushButton>(dialog, "start")->click();
        QVERIFY(answers(port));
        child<QPushButton>(dialog, "ok")->click();
    });
    QVERIFY(d.fakes.sink.messages().empty());
    QVERIFY(d.web->running());
}

void WebSettingsDialogTest::test_opens_the_local_address_in_the_browser() {
    const std::string port = std::to_string(free_port());
    WebDesktop d(stored_settings(port.c_str(), "0", "", ""));
    QVERIFY(d.web->start(port));
    d.run([&](WebSettingsDialog* dialog) {
        child<QPushButton>(dialog, "test")->click();
        QCOMPARE(d.fakes.processes.launches,
                 (std::vector<std::vector<std::string>>{{"xdg-open", "http://127.0.0.1:" + port}}));
        QVERIFY(d.fakes.sink.messages().empty());
        child<QLineEdit>(dialog, "listen_port")->clear();
        child<QPushButton>(dialog, "test")->click();
        QCOMPARE(d.fakes.sink.messages(), std::vector<std::string>{"please input listen port!"});
        QCOMPARE(d.fakes.processes.launches.size(), std::size_t(1));
        child<QPushButton>(dialog, "cancel")->click();
    });
    QVERIFY(d.fakes.processes.runs.empty());
}

// OK with what was entered: either refused with a message (the dialog stays open and nothing
// is stored) or accepted with the five values stored.
void WebSettingsDialogTest::ok_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("protect");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("startup");
    QTest::addColumn<std::string>("message");  // empty: accepted

    QTest::newRow("empty port with startup off is stored") << "" << false << ""
                                                           << "" << false << std::string();
    QTest::newRow("protected, all given, startup on") << "5678" << true << "u2"
                                                      << "p2" << true << std::string();
    QTest::newRow("a port text of exactly its field's size") << QString(24, '9') << false << ""
                                                             << "" << true << std::string();
    QTest::newRow("empty port with startup on")
        << "" << false << ""
        << "" << true << std::string("please input listen port!");
    QTest::newRow("protected, empty user name")
        << "5678" << true << ""
        << "p2" << false << std::string("please input user name!");
    QTest::newRow("protected, empty password")
        << "5678" << true << "u2"
        << "" << false << std::string("please input password!");
    QTest::newRow("port wider than its field")
        << wide_text(13) << false << ""
        << "" << false
        << std::string("the listen port is longer than 24 characters, please reenter again!");
    QTest::newRow("user name wider than its field")
        << "5678" << true << wide_text(50) << "p2" << false
        << std::string("the user name is longer than 99 characters, please reenter again!");
    QTest::newRow("password wider than its field, protection off")
        << "5678" << false << "" << wide_text(50) << false
        << std::string("the password is longer than 99 characters, please reenter again!");
}

void WebSettingsDialogTest::ok() {
    QFETCH(QString, port);
    QFETCH(bool, protect);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, startup);
    QFETCH(std::string, message);
    AppSettings stored = stored_settings("18080", "1", "admin", "secret", "1");
    stored.top_window = "1";  // a setting of another window, kept as it is
    WebDesktop d(stored);
    const AppSettings before = d.model->settings();
    QCOMPARE(before.top_window.str(), std::string("1"));
    bool stayed_open = false;
    d.run([&](WebSettingsDialog* dialog) {
        fill(dialog, port, protect, user, password);
        child<QCheckBox>(dialog, "startup")->setChecked(startup);
        child<QPushButton>(dialog, "ok")->click();
        stayed_open = dialog->isVisible();
        if (stayed_open) child<QPushButton>(dialog, "cancel")->click();
    });
    if (!message.empty()) {
        QVERIFY(stayed_open);
        QCOMPARE(d.fakes.sink.messages(), std::vector<std::string>{message});
        QCOMPARE(d.model->settings(), before);
        return;
    }
    QVERIFY(!stayed_open);
    QVERIFY(d.fakes.sink.messages().empty());
    AppSettings expected = before;
    expected.web_listen_port = port.toStdString();
    expected.protect = protect ? "1" : "0";
    expected.user_name = user.toStdString();
    expected.password = password.toStdString();
    expected.enable_web = startup ? "1" : "0";
    QCOMPARE(d.model->settings(), expected);
    QVERIFY(!d.web->running());
}

void WebSettingsDialogTest::start_if_enabled_follows_the_startup_flag_data() {
    QTest::addColumn<QString>("enable_web");
    QTest::newRow("startup on") << "1";
    QTest::newRow("startup off") << "0";
}

void WebSettingsDialogTest::start_if_enabled_follows_the_startup_flag() {
    QFETCH(QString, enable_web);
    const int port = free_port();
    WebDesktop d(stored_settings(std::to_string(port).c_str(), "0", "", "",
                                 enable_web.toStdString().c_str()));
    const bool on = enable_web == "1";
    QCOMPARE(d.web->start_if_enabled(), on);
    QCOMPARE(d.web->running(), on);
    QCOMPARE(answers(port), on);
    // Positive control for the off row: the same port answers once started by hand.
    QVERIFY(d.web->start(std::to_string(port)));
    QVERIFY(answers(port));
}

}  // namespace zk::test

QTEST_MAIN(zk::test::WebSettingsDialogTest)
#include "web_settings_dialog_test.moc"
