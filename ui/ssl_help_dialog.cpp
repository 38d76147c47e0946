#include "ui/ssl_help_dialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"

namespace zk {

SSL_Help::SSL_Help(QWidget* parent) : QDialog(parent) {
    setWindowTitle("SSL Help");
    auto* layout = new QVBoxLayout(this);
    for (const char* paragraph :
         {"The CA Center is the tool that help you create root certificate to signature "
          "certificate of client or server. If you want to use web browser as a ssl client, you "
          "can import the created root certificate into your web browser as a trusted root "
          "certificate.",
          "After you have already successfully created root certificate, you can create "
          "certificate of client or server. The first thing you need to do is create a private "
          "key file and then create certificate request file.",
          "The last thing you need to do is create certificate of client or server. Zelkora will "
          "load the certificate of client or server when your port mapping startup."}) {
        auto* label = new QLabel(paragraph);
        label->setWordWrap(true);
        label->setFixedWidth(420);
        layout->addWidget(label);
    }
    layout->addWidget(dialog_buttons(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zk
