#include "ui/named_widgets.h"

#include <QPushButton>
#include <QRadioButton>

namespace zk {

QPushButton* push_button(const QString& caption, const QString& object_name) {
    auto* button = new QPushButton(caption);
    button->setObjectName(object_name);
    button->setAutoDefault(false);
    return button;
}

QRadioButton* radio_button(const QString& caption, const QString& object_name) {
    auto* button = new QRadioButton(caption);
    button->setObjectName(object_name);
    return button;
}

std::string text_of(const QLineEdit* field) {
    return field->text().toStdString();
}

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zk
