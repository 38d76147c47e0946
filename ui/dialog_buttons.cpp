#include "ui/dialog_buttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace zk {

QWidget* dialog_buttons(QDialog* dialog, const char* cancel_caption) {
    auto* buttons = new QDialogButtonBox;
    auto* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok->setObjectName("ok");
    ok->setDefault(true);
    if (cancel_caption) {
        buttons->addButton(cancel_caption, QDialogButtonBox::RejectRole)->setObjectName("cancel");
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace zk
