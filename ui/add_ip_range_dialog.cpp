#include "ui/add_ip_range_dialog.h"

#include <QEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/validation.h"
#include "ui/dialog_buttons.h"

namespace zk {

CAdd_IP_Range::CAdd_IP_Range(MessageSink& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), from_(new QLineEdit), to_(new QLineEdit) {
    setWindowTitle("Add IP Range");
    // Each end is stored in a 50-byte field of the range.
    constexpr int kMaxLength = static_cast<int>(decltype(IpRange::start)::capacity) - 1;
    from_->setObjectName("from");
    from_->setMaxLength(kMaxLength);
    to_->setObjectName("to");
    to_->setMaxLength(kMaxLength);
    to_->installEventFilter(this);

    auto* fields = new QFormLayout;
    fields->addRow("From: ", from_);
    fields->addRow("To: ", to_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(dialog_buttons(this, "CANCEL"));
    from_->setMinimumWidth(fontMetrics().horizontalAdvance("255.255.255.255") * 2);
}

bool CAdd_IP_Range::eventFilter(QObject* watched, QEvent* event) {
    if (watched == to_ && event->type() == QEvent::FocusIn && !from_->text().isEmpty()) {
        to_->setText(from_->text());
    }
    return QDialog::eventFilter(watched, event);
}

void CAdd_IP_Range::accept() {
    IpRange entered;
    entered.start = from_->text().toStdString();
    entered.end = to_->text().toStdString();
    if (const auto error = complete_ip_range(entered)) {
        messages_.show_message(*error, kErrorTitle, MessageIcon::error);
        return;
    }
    range_ = entered;
    QDialog::accept();
}

}  // namespace zk
