#include "ui/add_often_port_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/validation.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {
namespace {

QLineEdit* named_field(const char* object_name) {
    auto* field = new QLineEdit;
    field->setObjectName(object_name);
    return field;
}

}  // namespace

CAdd_Often_Port::CAdd_Often_Port(DesktopSeams& seams, QWidget* parent)
    : QDialog(parent),
      seams_(seams),
      name_(named_field("application_name")),
      tcp_ports_(named_field("tcp_ports")),
      udp_ports_(named_field("udp_ports")) {
    setWindowTitle("Add Often Used Ports");
    name_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(32, 'M')));
    auto* form = new QFormLayout;
    form->addRow("Application Name: ", name_);
    form->addRow("TCP Ports: ", tcp_ports_);
    form->addRow("UDP Ports: ", udp_ports_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    for (const char* note :
         {"Notice:", "port range divided with '-' and multi-ports divided with ','",
          "example:443,1024-5000,5190 "}) {
        layout->addWidget(new QLabel(note));
    }
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

PortsEntry CAdd_Often_Port::entered() const {
    return {text_of(name_), text_of(tcp_ports_), text_of(udp_ports_)};
}

void CAdd_Often_Port::accept() {
    const PortsEntry entry = entered();
    if (const auto error = validate_ports_entry(entry)) {
        seams_.messages.show_message(*error, kErrorTitle, MessageIcon::error);
        return;
    }
    result_ = entry;
    QDialog::accept();
}

}  // namespace zk
