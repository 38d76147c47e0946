#include "ui/search_ports_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/validation.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {

CSearch_Ports::CSearch_Ports(DesktopSeams& seams, QWidget* parent)
    : QDialog(parent), seams_(seams), name_(new QLineEdit) {
    setWindowTitle("Search Application");
    name_->setObjectName("application_name");
    name_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(24, 'M')));
    auto* form = new QFormLayout;
    form->addRow("Application Name:  ", name_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::string CSearch_Ports::text() const {
    return text_of(name_);
}

void CSearch_Ports::accept() {
    if (name_->text().isEmpty()) {
        seams_.messages.show_message("invalid application name, please reenter again!", kErrorTitle,
                                     MessageIcon::error);
        return;
    }
    QDialog::accept();
}

}  // namespace zk
