#include "ui/often_used_ports_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <iterator>

#include "ui/add_often_port_dialog.h"
#include "ui/named_widgets.h"
#include "ui/search_ports_dialog.h"

namespace zk {
namespace {

constexpr const char* kColumnTitles[] = {"Application Name", "TCP Ports", "UDP Ports"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumnTitles));

}  // namespace

COften_used_ports::COften_used_ports(std::string program_dir, DesktopSeams& seams,
                                     std::function<void(const PortsEntry&)> open_mapping,
                                     QWidget* parent)
    : QDialog(parent),
      program_dir_(std::move(program_dir)),
      seams_(seams),
      open_mapping_(std::move(open_mapping)),
      filter_(new QComboBox),
      list_(row_list("ports_list", kColumnTitles)) {
    setWindowTitle("Often Used Ports");
    setModal(false);
    // Each menu command makes a window: a closed one must not stay behind.
    setAttribute(Qt::WA_DeleteOnClose);

    const int character = fontMetrics().horizontalAdvance('x');
    list_->setColumnWidth(0, 28 * character);
    list_->setColumnWidth(1, 24 * character);
    list_->setMinimumWidth(80 * character);
    // Enter and double click both activate the current row; Enter is not taken by a default
    // button, since the window has none.
    connect(list_, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { pick(index.row()); });

    load_entries(std::string(kAllPortsFilter));

    filter_->setObjectName("filter");
    QStringList choices = {qtext(kAllPortsFilter)};
    for (char c = '0'; c <= '9'; ++c)
        choices << QString(QChar(c));
    for (char c = 'A'; c <= 'Z'; ++c)
        choices << QString(QChar(c));
    choices.sort();  // the box lists its choices in sorted order
    filter_->addItems(choices);
    filter_->setCurrentText(qtext(kAllPortsFilter));
    connect(filter_, &QComboBox::textActivated, this,
            [this](const QString& text) { load_entries(text.toStdString()); });

    auto* search_button = push_button("Search", "search");
    auto* add_button = push_button("Add", "add");
    auto* cancel = push_button("Cancel", "cancel");
    connect(search_button, &QPushButton::clicked, this, &COften_used_ports::search);
    connect(add_button, &QPushButton::clicked, this, &COften_used_ports::add);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Filter by: "));
    top->addWidget(filter_);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (auto* button : {search_button, add_button, cancel})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(sizeHint().width(), 400);
}

void COften_used_ports::load_entries(const std::string& filter) {
    auto entries = load_ports_entries(program_dir_, filter);
    if (!entries) return;
    shown_.clear();
    list_->setRowCount(0);
    for (const PortsEntry& entry : *entries)
        append_row(entry);
}

void COften_used_ports::append_row(const PortsEntry& entry) {
    const int row = list_->rowCount();
    list_->insertRow(row);
    const std::string* cells[kColumnCount] = {&entry.name, &entry.tcp_ports, &entry.udp_ports};
    for (int c = 0; c < kColumnCount; ++c)
        list_->setItem(row, c, new QTableWidgetItem(qtext(*cells[c])));
    shown_.push_back(entry);
}

void COften_used_ports::search() {
    CSearch_Ports dialog(seams_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string typed = dialog.text();
    const QString wanted = qtext(typed).toLower();
    bool found = false;
    // Every match is selected in turn, so the last one stays selected.
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (!list_->item(row, 0)->text().toLower().contains(wanted)) continue;
        list_->selectRow(row);
        list_->scrollToItem(list_->item(row, 0));
        list_->setFocus();
        found = true;
    }
    if (!found) seams_.messages.show_message(typed + " not found!", "", MessageIcon::none);
}

void COften_used_ports::add() {
    CAdd_Often_Port dialog(seams_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // A file that cannot be written loses the entry silently; the row shows all the same.
    append_ports_entry(program_dir_, dialog.entry());
    append_row(written_ports_entry(dialog.entry()));
}

void COften_used_ports::pick(int row) {
    if (!open_mapping_ || row < 0 || row >= static_cast<int>(shown_.size())) return;
    open_mapping_(shown_[static_cast<std::size_t>(row)]);
}

COften_used_ports* open_often_used_ports(std::string program_dir, DesktopSeams& seams,
                                         std::function<void(const PortsEntry&)> open_mapping,
                                         QWidget* parent) {
    auto* window =
        new COften_used_ports(std::move(program_dir), seams, std::move(open_mapping), parent);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace zk
