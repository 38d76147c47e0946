#pragma once
// Controls made with the objectName tests find them by, and the texts they show. UI thread
// only.

#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QString>
#include <span>
#include <string>
#include <string_view>

class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zk {

// A button that acts only when clicked: Enter in the dialog stays with its default button.
QPushButton* push_button(const QString& caption, const QString& object_name);
QRadioButton* radio_button(const QString& caption, const QString& object_name);
// A read-only list of whole rows under these column titles, one row selectable at a time, whose
// cells Tab does not walk (it moves on to the buttons).
QTableWidget* row_list(const QString& object_name, std::span<const char* const> titles);

// A text field no longer than the record field it fills (whose size includes the NUL).
template <typename Field>
QLineEdit* record_field(const QString& object_name, bool digits_only = false) {
    auto* field = new QLineEdit;
    field->setObjectName(object_name);
    field->setMaxLength(static_cast<int>(Field::capacity) - 1);
    if (digits_only) {
        field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), field));
    }
    return field;
}

std::string text_of(const QLineEdit* field);
QString qtext(std::string_view text);

}  // namespace zk
