#pragma once
// "View IP": the machine's IPv4 addresses in a drop-down list, the one other machines can reach
// first and selected, loopback last. The external address row is kept hidden, as it has always
// been: nothing fills it.
//
// UI thread only.

#include <QDialog>
#include <string>
#include <vector>

namespace zk {

class CView_IP final : public QDialog {
    Q_OBJECT
public:
    // Lists `addresses` in the order given.
    explicit CView_IP(const std::vector<std::string>& addresses, QWidget* parent = nullptr);
};

// Runs the dialog modally over local_ipv4_addresses() (the main menu's "View IP").
void open_view_ip(QWidget* parent);

}  // namespace zk
