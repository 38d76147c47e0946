#include "ui/named_widgets.h"

#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

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

QTableWidget* row_list(const QString& object_name, std::span<const char* const> titles) {
    auto* list = new QTableWidget(0, static_cast<int>(titles.size()));
    list->setObjectName(object_name);
    for (int c = 0; c < list->columnCount(); ++c)
        list->setHorizontalHeaderItem(c, new QTableWidgetItem(titles[c]));
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    list->setTabKeyNavigation(false);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setStretchLastSection(true);
    return list;
}

std::string text_of(const QLineEdit* field) {
    return field->text().toStdString();
}

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zk
