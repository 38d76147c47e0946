#include "ui/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"

namespace zk {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    auto* picture = new QLabel;
    picture->setPixmap(QPixmap(":/icons/about.png"));
    auto* name = new QLabel("<b>Zelkora</b>");
    auto* version = new QLabel("Version 2.1.0 Build on 4-25-2013");
    version->setObjectName("version");
    auto* texts = new QVBoxLayout;
    texts->addStretch();
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(dialog_buttons(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zk
