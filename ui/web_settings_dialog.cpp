#include "ui/web_settings_dialog.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/validation.h"
#include "engine/event_log.h"
#include "platform/local_addresses.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {
namespace {

constexpr const char* kNoPort = "please input listen port!";
constexpr const char* kNoUserName = "please input user name!";
constexpr const char* kNoPassword = "please input password!";
constexpr const char* kFallbackExampleIp = "192.168.10.10";

QLabel* label(const QString& text, const char* object_name) {
    auto* shown = new QLabel(text);
    shown->setObjectName(object_name);
    return shown;
}

// Refuses a text that would not fit its settings field, instead of cutting it there.
template <typename Field>
std::optional<std::string> too_long(const char* what, const std::string& text) {
    if (text.size() < Field::capacity) return std::nullopt;
    return std::string("the ") + what + " is longer than " + std::to_string(Field::capacity - 1) +
           " characters, please reenter again!";
}

}  // namespace

std::string example_ip_address() {
    // Loopback comes last: a first address that is loopback means the machine has no other.
    const auto addresses = local_ipv4_addresses();
    if (addresses.empty() || addresses.front().starts_with("127.")) return kFallbackExampleIp;
    return addresses.front();
}

WebSettingsDialog::WebSettingsDialog(AppModel& model, WebSwitch& web, DesktopSeams& seams,
                                     QWidget* parent)
    : QDialog(parent),
      model_(model),
      web_(web),
      seams_(seams),
      opened_(model.settings()),
      port_(record_field<decltype(AppSettings::web_listen_port)>("listen_port")),
      no_protection_(radio_button("no protection", "no_protection")),
      protection_(radio_button("protect with user name and password", "protection")),
      user_name_(record_field<decltype(AppSettings::user_name)>("user_name")),
      password_(record_field<decltype(AppSettings::password)>("password")),
      startup_(new QCheckBox("enable web interface function when the application startup")),
      start_(push_button("start", "start")),
      stop_(push_button("stop", "stop")),
      test_(push_button("test", "test")) {
    setWindowTitle("Web Maintain and Operation");
    password_->setEchoMode(QLineEdit::Password);
    startup_->setObjectName("startup");
    auto* protection_kind = new QButtonGroup(this);
    protection_kind->addButton(no_protection_);
    protection_kind->addButton(protection_);

    build_layout();
    load_settings();

    connect(no_protection_, &QRadioButton::clicked, this,
            [this] { set_credentials_enabled(false); });
    connect(protection_, &QRadioButton::clicked, this, [this] { set_credentials_enabled(true); });
    connect(start_, &QPushButton::clicked, this, &WebSettingsDialog::start_server);
    connect(stop_, &QPushButton::clicked, this, &WebSettingsDialog::stop_server);
    connect(test_, &QPushButton::clicked, this, &WebSettingsDialog::open_test_page);
}

void WebSettingsDialog::build_layout() {
    const std::string ip = example_ip_address();
    auto* example = label(QString("for example: 5678, and if your ip is %1, then you can use "
                                  "http://%1:5678 to access the web interface with your web "
                                  "browser.")
                              .arg(qtext(ip)),
                          "example_hint");
    example->setWordWrap(true);
    auto* restart_hint = label(
        "if you have changed the listen port, user name or password, please click stop button "
        "and then click start button to make sure change effectived.",
        "restart_hint");
    restart_hint->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    auto* port_row = new QHBoxLayout;
    port_row->addWidget(label("Listen Port: ", "listen_port_label"));
    port_row->addWidget(port_);
    layout->addLayout(port_row);
    layout->addWidget(example);
    layout->addWidget(no_protection_);
    layout->addWidget(protection_);
    auto* credentials = new QGridLayout;
    credentials->addWidget(label("user name: ", "user_name_label"), 0, 0);
    credentials->addWidget(user_name_, 0, 1);
    credentials->addWidget(label("password: ", "password_label"), 1, 0);
    credentials->addWidget(password_, 1, 1);
    layout->addLayout(credentials);
    layout->addWidget(startup_);
    auto* server_row = new QHBoxLayout;
    server_row->addWidget(start_);
    server_row->addWidget(stop_);
    server_row->addWidget(test_);
    server_row->addStretch();
    layout->addLayout(server_row);
    layout->addWidget(restart_hint);
    layout->addSpacing(8);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    setMinimumWidth(460);
}

void WebSettingsDialog::load_settings() {
    port_->setText(qtext(opened_.web_listen_port));
    const bool is_protected = opened_.protect != "0";
    (is_protected ? protection_ : no_protection_)->setChecked(true);
    set_credentials_enabled(is_protected);
    user_name_->setText(qtext(opened_.user_name));
    password_->setText(qtext(opened_.password));
    startup_->setChecked(opened_.enable_web == "1");
    show_running(web_.running());
}

void WebSettingsDialog::show_running(bool running) {
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    test_->setEnabled(running);
}

void WebSettingsDialog::set_credentials_enabled(bool enabled) {
    user_name_->setEnabled(enabled);
    password_->setEnabled(enabled);
}

bool WebSettingsDialog::refused(const std::optional<std::string>& message) {
    if (message) seams_.messages.show_message(*message, kErrorTitle, MessageIcon::error);
    return message.has_value();
}

std::optional<std::string> WebSettingsDialog::too_long_text() const {
    if (auto error =
            too_long<decltype(AppSettings::web_listen_port)>("listen port", text_of(port_)))
        return error;
    if (auto error = too_long<decltype(AppSettings::user_name)>("user name", text_of(user_name_)))
        return error;
    return too_long<decltype(AppSettings::password)>("password", text_of(password_));
}

std::optional<std::string> WebSettingsDialog::missing_port() const {
    if (port_->text().isEmpty()) return kNoPort;
    return std::nullopt;
}

std::optional<std::string> WebSettingsDialog::missing_credentials() const {
    if (no_protection_->isChecked()) return std::nullopt;
    if (user_name_->text().isEmpty()) return kNoUserName;
    if (password_->text().isEmpty()) return kNoPassword;
    return std::nullopt;
}

void WebSettingsDialog::store(const AppSettings& settings) {
    if (const auto error = model_.change_settings(settings))
        seams_.messages.show_message(*error, kErrorTitle, MessageIcon::error);
}

void WebSettingsDialog::start_server() {
    if (refused(missing_port()) || refused(too_long_text())) return;
    const std::string port = text_of(port_);
    // The port is kept even when the credentials are refused next; Cancel puts it back.
    AppSettings settings = model_.settings();
    settings.web_listen_port = port;
    store(settings);
    if (refused(missing_credentials())) return;
    settings.user_name = text_of(user_name_);
    settings.password = text_of(password_);
    settings.protect = no_protection_->isChecked() ? "0" : "1";
    store(settings);
    // A port that cannot be listened on is reported by the server; the buttons show that
    // nothing runs, so start can be tried again at once.
    web_.start(port);
    show_running(web_.running());
}

void WebSettingsDialog::stop_server() {
    // The listener is closed and joined before stop() returns, so there is nothing to wait for
    // before start may be offered again, and the dialog never stops answering.
    web_.stop();
    show_running(web_.running());
}

void WebSettingsDialog::open_test_page() {
    if (refused(missing_port())) return;
    const std::string address = "http://127.0.0.1:" + text_of(port_);
    if (!seams_.processes.launch({"xdg-open", address}))
        log_event("cannot start xdg-open for %s\n", address.c_str());
}

void WebSettingsDialog::accept() {
    if (refused(missing_credentials())) return;
    if ((startup_->isChecked() && refused(missing_port())) || refused(too_long_text())) return;
    AppSettings settings = model_.settings();
    settings.web_listen_port = text_of(port_);
    settings.protect = no_protection_->isChecked() ? "0" : "1";
    settings.user_name = text_of(user_name_);
    settings.password = text_of(password_);
    settings.enable_web = startup_->isChecked() ? "1" : "0";
    store(settings);
    QDialog::accept();
}

void WebSettingsDialog::reject() {
    const AppSettings current = model_.settings();
    AppSettings settings = current;
    settings.user_name = opened_.user_name;
    settings.password = opened_.password;
    settings.web_listen_port = opened_.web_listen_port;
    settings.protect = opened_.protect;
    if (!(settings == current)) store(settings);
    QDialog::reject();
}

void open_web_settings(AppModel& model, WebSwitch& web, DesktopSeams& seams, QWidget* parent) {
    WebSettingsDialog(model, web, seams, parent).exec();
}

}  // namespace zk
