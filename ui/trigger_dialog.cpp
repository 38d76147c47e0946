#include "ui/trigger_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <iterator>
#include <string>

#include "core/validation.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {
namespace {

// The protocol choices, in the order of kTriggerProtocols.
constexpr const char* kProtocolCaptions[] = {"TCP", "UDP", "TCP and UDP"};
static_assert(std::size(kProtocolCaptions) == std::size(kTriggerProtocols));

// A field for `value`, no longer than it can hold.
template <typename Field>
QLineEdit* text_field(const Field& value, const char* object_name, bool digits_only = false) {
    auto* field = record_field<Field>(object_name, digits_only);
    field->setText(QString::fromUtf8(value.c_str()));
    return field;
}

// The choice (an index of kTriggerProtocols) a stored text stands for: each kind it names is on.
int protocol_index(std::string_view protocol) {
    const bool tcp = protocol.find("TCP") != std::string_view::npos;
    const bool udp = protocol.find("UDP") != std::string_view::npos;
    return tcp && udp ? 2 : udp ? 1 : 0;
}

}  // namespace

CAddTrigger::CAddTrigger(const PortTrigger& record, TriggerTable table, DesktopSeams& seams,
                         QWidget* parent)
    : QDialog(parent),
      record_(record),
      table_(std::move(table)),
      seams_(seams),
      name_(text_field(record.name, "name")),
      protocol_(new QComboBox),
      address_(text_field(record.trigger_address, "trigger_address")),
      port_(text_field(record.trigger_port, "trigger_port", true)),
      port_end_(text_field(record.trigger_port_end, "trigger_port_end", true)),
      period_(text_field(record.frequence, "frequence", true)),
      auto_start_(new QCheckBox("start automatically when Zelkora starts")) {
    setWindowTitle(record_.name.empty() ? "Add Port Trigger" : "Edit Port Trigger");
    protocol_->setObjectName("protocol");
    for (const char* caption : kProtocolCaptions)
        protocol_->addItem(caption);
    protocol_->setCurrentIndex(protocol_index(record_.protocol));
    auto_start_->setObjectName("auto_start");
    auto_start_->setChecked(is_yes(record_.auto_start));
    port_end_->setPlaceholderText("same as the first port");

    auto* form = new QFormLayout;
    form->addRow("Name: ", name_);
    form->addRow("Protocol: ", protocol_);
    form->addRow("Trigger Address: ", address_);
    form->addRow("First Port: ", port_);
    form->addRow("Last Port: ", port_end_);
    form->addRow("Period (ms): ", period_);
    form->addRow(auto_start_);
    const int wide = fontMetrics().horizontalAdvance(QString(32, 'M'));
    address_->setMinimumWidth(wide);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

PortTrigger CAddTrigger::entered_trigger() const {
    PortTrigger entered = record_;
    entered.name = text_of(name_);
    entered.protocol = kTriggerProtocols[protocol_->currentIndex()];
    entered.trigger_address = text_of(address_);
    entered.trigger_port = text_of(port_);
    // An empty last port makes a single port.
    entered.trigger_port_end = port_end_->text().isEmpty() ? text_of(port_) : text_of(port_end_);
    entered.frequence = text_of(period_);
    entered.auto_start = auto_start_->isChecked() ? "Y" : "N";
    return entered;
}

void CAddTrigger::accept() {
    const PortTrigger entered = entered_trigger();
    const auto resolves = [this](const std::string& host) {
        return seams_.resolve_host && seams_.resolve_host(host).has_value();
    };
    if (const auto error = validate_trigger(entered, table_, record_.name, resolves)) {
        seams_.messages.show_message(*error, kErrorTitle, MessageIcon::error);
        return;
    }
    result_ = entered;
    QDialog::accept();
}

}  // namespace zk
