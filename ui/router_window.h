#pragma once
// "Router Port Mappings": finds the UPnP gateway and lists its port forwardings and external
// address. The search runs off the UI thread, so the window answers (and can be cancelled)
// while the gateway is slow or absent. A failure is shown once in an error box and closes the
// window.
//
// UI thread only.

#include <QDialog>

#include "ui/desktop_seams.h"
#include "ui/router_query.h"
#include "upnp/upnp_nat.h"

class QLabel;
class QStackedWidget;
class QTableWidget;

namespace zk {

class RouterWindow final : public QDialog {
    Q_OBJECT
public:
    // Starts the search at once.
    RouterWindow(UpnpOptions options, DesktopSeams& seams, QWidget* parent = nullptr);

    // Searches again, showing the search page until the report arrives.
    void refresh();

    QTableWidget* list() const { return list_; }

private:
    void show_report(const RouterReport& report);

    UpnpOptions options_;
    DesktopSeams& seams_;
    RouterQuery query_;
    QStackedWidget* pages_;
    QLabel* external_address_;
    QTableWidget* list_;
};

// Runs the window over `parent` until it is closed.
void open_router_window(const UpnpOptions& options, DesktopSeams& seams, QWidget* parent);

}  // namespace zk
