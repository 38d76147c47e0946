#include "ui/root_name_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"

namespace zk {

Root_Name::Root_Name(MessageSink& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), name_(new QLineEdit) {
    setWindowTitle("Input Root Certificate Name");
    name_->setObjectName("name");
    // The name becomes part of two file names under CA/.
    name_->setMaxLength(200);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Name: "), 0, 0);
    grid->addWidget(name_, 0, 1);
    grid->addWidget(new QLabel("For example: ca"), 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::optional<QString> Root_Name::ask() {
    if (exec() != QDialog::Accepted) return std::nullopt;
    return name_->text();
}

void Root_Name::accept() {
    if (name_->text().isEmpty()) {
        messages_.show_message("name of root certificate must be given!", "", MessageIcon::none);
        return;
    }
    // A name that climbs out of CA/ or names a folder would write the root elsewhere.
    if (name_->text().contains('/') || name_->text() == "." || name_->text() == "..") {
        messages_.show_message("the name of a root certificate cannot contain '/'.", "",
                               MessageIcon::none);
        return;
    }
    QDialog::accept();
}

}  // namespace zk
