#include "ui/view_ip_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/local_addresses.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {

CView_IP::CView_IP(const std::vector<std::string>& addresses, QWidget* parent) : QDialog(parent) {
    setWindowTitle("View IP");
    auto* local = new QComboBox;
    local->setObjectName("local_ip");
    for (const std::string& address : addresses)
        local->addItem(qtext(address));
    auto* external_label = new QLabel("External IP: ");
    external_label->setObjectName("external_ip_label");
    external_label->hide();
    auto* external = new QLineEdit;
    external->setObjectName("external_ip");
    external->hide();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Local IP:"), 0, 0);
    grid->addWidget(local, 0, 1);
    grid->addWidget(external_label, 1, 0);
    grid->addWidget(external, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void open_view_ip(QWidget* parent) {
    CView_IP(local_ipv4_addresses(), parent).exec();
}

}  // namespace zk
