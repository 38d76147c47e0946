#pragma once
// "Web Maintain and Operation": the web interface's port, protection, credentials and
// start-with-the-program flag, and the one place where the user starts, stops and tries out the
// web server. start and stop act on the server at once, whether the dialog then ends with OK or
// Cancel; OK stores the five settings, Cancel puts back the four it copied at opening.
//
// UI thread only.

#include <QDialog>
#include <string>

#include "app/app_model.h"
#include "ui/desktop_seams.h"
#include "ui/web_server_switch.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zk {

class WebSettingsDialog final : public QDialog {
    Q_OBJECT
public:
    // `model`, `web` and `seams` must outlive the dialog.
    WebSettingsDialog(AppModel& model, WebSwitch& web, DesktopSeams& seams,
                      QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

private:
    void build_layout();
    void load_settings();  // the opening state, from opened_ and the server
    void start_server();
    void stop_server();
    void open_test_page();
    void show_running(bool running);
    void set_credentials_enabled(bool enabled);
    // Shows `message` in an "ERROR!" box when there is one; true when there was.
    bool refused(const std::optional<std::string>& message);
    // The first of the length limits the entered texts break, if any.
    std::optional<std::string> too_long_text() const;
    std::optional<std::string> missing_port() const;
    // The empty-field checks of the user name, then the password, when protection is chosen.
    std::optional<std::string> missing_credentials() const;
    // Hands `settings` to the model; tells the user when it could not be stored.
    void store(const AppSettings& settings);

    AppModel& model_;
    WebSwitch& web_;
    DesktopSeams& seams_;
    const AppSettings opened_;  // the settings at opening; Cancel puts four of them back

    QLineEdit* port_;
    QRadioButton* no_protection_;
    QRadioButton* protection_;
    QLineEdit* user_name_;
    QLineEdit* password_;
    QCheckBox* startup_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* test_;
};

// Runs the dialog modally (the main menu's "Web Maintain and Operation").
void open_web_settings(AppModel& model, WebSwitch& web, DesktopSeams& seams, QWidget* parent);

// The address the dialog's hint shows as its example: this machine's first IPv4 address that is
// not a loopback one, or 192.168.10.10 when it has none.
std::string example_ip_address();

}  // namespace zk
