#pragma once
// "Port Forwarding Tester": asks for a public address and a port and opens the publisher's port
// tester page for them in the browser. While it is open it asks the router, off the UI thread,
// for its external address (filled in when the field is still empty) and its forwarding table,
// and shows below the fields what the program knows about the port: whether a running mapping
// listens on it and whether the router forwards it.
//
// UI thread only.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "app/app_model.h"
#include "app/port_check.h"
#include "ui/desktop_seams.h"
#include "upnp/router_report.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zk {

class RouterQuery;

// Tries of the router search behind the address pre-fill.
inline constexpr int kPortTesterRouterTries = 3;

class CCheck_Port final : public QDialog {
    Q_OBJECT
public:
    // Starts the router query with `router` (its tries set to kPortTesterRouterTries). `model` and
    // `seams` must outlive the dialog; `tester_host` names the tester page's web server.
    CCheck_Port(AppModel& model, const UpnpOptions& router, std::string tester_host,
                DesktopSeams& seams, QWidget* parent = nullptr);

    // Refuses an empty address or a port that is not 1 to 65535; otherwise opens the page.
    void accept() override;

private:
    void take_report(const RouterReport& report);
    void show_knowledge();
    void refuse(const char* message);

    AppModel& model_;
    const std::string tester_host_;
    DesktopSeams& seams_;
    // The gateway's table once the router answered; nothing before or when it failed.
    std::optional<std::vector<GatewayForward>> forwards_;

    QLineEdit* address_;
    QLineEdit* port_;
    QLabel* status_;
    QPlainTextEdit* knowledge_;
    RouterQuery* query_;
};

// Runs the dialog modally (the main window's tester command).
void open_port_tester(AppModel& model, const UpnpOptions& router, std::string tester_host,
                      DesktopSeams& seams, QWidget* parent);

}  // namespace zk
