#include "ui/advanced_dialog.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/validation.h"
#include "ui/add_ip_range_dialog.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"

namespace zk {
namespace {

constexpr int kColumnWidth = 100;
// A host name has at most 253 characters; a little more costs nothing.
constexpr int kWebSiteLength = 255;

QTableWidget* make_range_list(const QString& object_name) {
    auto* list = new QTableWidget(0, 2);
    list->setObjectName(object_name);
    list->setHorizontalHeaderLabels({"From", "To"});
    list->setColumnWidth(0, kColumnWidth);
    list->setColumnWidth(1, kColumnWidth);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 8);
    list->horizontalHeader()->setStretchLastSection(false);
    const int frame = 2 * list->frameWidth();
    list->setMinimumWidth(2 * kColumnWidth + frame +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    return list;
}

void append_row(QTableWidget* list, const IpRange& range) {
    const int row = list->rowCount();
    list->insertRow(row);
    list->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(range.start.str())));
    list->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(range.end.str())));
}

// One range list with its "Add" and "Remove" buttons underneath.
QWidget* list_panel(const QString& label, QTableWidget* list, QPushButton* add,
                    QPushButton* remove) {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(label));
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    return panel;
}

}  // namespace

CAdvanced::CAdvanced(PortMapping& record, DesktopSeams& seams, QWidget* parent)
    : QDialog(parent),
      record_(record),
      seams_(seams),
      log_enabled_(is_set(record.enable_log)),
      ip_strategy_enabled_(is_set(record.enable_ip_strategy)),
      log_path_(record.log_file),
      allow_ranges_(record.allow_ip),
      block_ranges_(record.block_ip),
      enable_log_(new QCheckBox("Enable Log for Protocol Debug")),
      log_file_(new QLineEdit),
      save_(push_button("Save", "save")),
      web_site_(new QLineEdit),
      enable_ip_strategy_(new QCheckBox("Enable IP Strategy")),
      allow_list_(make_range_list("allow_list")),
      block_list_(make_range_list("block_list")) {
    setWindowTitle("Advanced Option");
    enable_log_->setObjectName("enable_log");
    log_file_->setObjectName("log_file");
    log_file_->setReadOnly(true);
    web_site_->setObjectName("web_site");
    web_site_->setMaxLength(kWebSiteLength);
    enable_ip_strategy_->setObjectName("enable_ip_strategy");

    auto* log_group = new QGroupBox("Log");
    auto* log_layout = new QGridLayout(log_group);
    log_layout->addWidget(enable_log_, 0, 0, 1, 2);
    log_layout->addWidget(log_file_, 1, 0);
    log_layout->addWidget(save_, 1, 1);

    auto* resolve = push_button("Resolve to IP", "resolve");
    auto* tool_group = new QGroupBox("Utility Tool");
    auto* tool_layout = new QHBoxLayout(tool_group);
    tool_layout->addWidget(new QLabel("Web Site:"));
    tool_layout->addWidget(web_site_, 1);
    tool_layout->addWidget(resolve);

    auto* allow_add = push_button("Add", "allow_add");
    auto* allow_remove = push_button("Remove", "allow_remove");
    auto* block_add = push_button("Add", "block_add");
    auto* block_remove = push_button("Remove", "block_remove");
    auto* strategy_group = new QGroupBox("IP Strategy");
    auto* strategy_layout = new QGridLayout(strategy_group);
    strategy_layout->addWidget(enable_ip_strategy_, 0, 0, 1, 2);
    strategy_layout->addWidget(
        list_panel("Allow IP Address Ranges:", allow_list_, allow_add, allow_remove), 1, 0);
    strategy_layout->addWidget(
        list_panel("Block IP Address Ranges:", block_list_, block_add, block_remove), 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_group);
    layout->addWidget(tool_group);
    layout->addWidget(strategy_group);
    layout->addWidget(dialog_buttons(this, "CANCEL"));

    connect(enable_log_, &QCheckBox::clicked, this, &CAdvanced::log_clicked);
    connect(save_, &QPushButton::clicked, this, &CAdvanced::save_log_file);
    connect(resolve, &QPushButton::clicked, this, &CAdvanced::resolve_site);
    connect(allow_add, &QPushButton::clicked, this,
            [this] { add_range(allow_list_, allow_ranges_); });
    connect(allow_remove, &QPushButton::clicked, this,
            [this] { remove_range(allow_list_, allow_ranges_); });
    connect(block_add, &QPushButton::clicked, this,
            [this] { add_range(block_list_, block_ranges_); });
    connect(block_remove, &QPushButton::clicked, this,
            [this] { remove_range(block_list_, block_ranges_); });
}

void CAdvanced::showEvent(QShowEvent* event) {
    // A window restored by the system is not a new opening.
    if (!event->spontaneous()) load_record();
    QDialog::showEvent(event);
}

void CAdvanced::load_record() {
    log_enabled_ = is_set(record_.enable_log);
    enable_log_->setChecked(log_enabled_);
    log_file_->setEnabled(log_enabled_);
    save_->setEnabled(log_enabled_);
    ip_strategy_enabled_ = is_set(record_.enable_ip_strategy);
    enable_ip_strategy_->setChecked(ip_strategy_enabled_);
    log_file_->setText(QString::fromStdString(record_.log_file.str()));
    // Changes of an earlier opening that OK did not store are dropped here.
    allow_ranges_ = record_.allow_ip;
    block_ranges_ = record_.block_ip;
    allow_list_->setRowCount(0);
    for (const IpRange& range : allow_ranges_)
        append_row(allow_list_, range);
    block_list_->setRowCount(0);
    for (const IpRange& range : block_ranges_)
        append_row(block_list_, range);
}

void CAdvanced::log_clicked(bool checked) {
    log_file_->setEnabled(checked);
    save_->setEnabled(checked);
    log_file_->setText(QString::fromStdString(record_.log_file.str()));
}

void CAdvanced::save_log_file() {
    const QString path = seams_.files.save_file_name(this, "Log File (*.log)", "log");
    if (path.isEmpty()) return;
    // A longer path would be cut when stored and name another file than the one made here.
    if (path.toStdString().size() >= decltype(PortMapping::log_file)::capacity) {
        seams_.messages.show_message("the log file path is too long, please choose a shorter one!",
                                     kErrorTitle, MessageIcon::error);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        seams_.messages.show_message(
            ("cannot create the log file " + path + ": " + file.errorString()).toStdString(),
            kErrorTitle, MessageIcon::error);
        return;
    }
    log_file_->setText(path);
}

void CAdvanced::resolve_site() {
    const std::string name = web_site_->text().toStdString();
    if (name.empty() || !seams_.resolve_host) return;
    if (const auto address = seams_.resolve_host(name)) {
        web_site_->setText(QString::fromStdString(*address));
    }
}

void CAdvanced::add_range(QTableWidget* list, std::vector<IpRange>& ranges) {
    CAdd_IP_Range dialog(seams_.messages, this);
    if (dialog.exec() != QDialog::Accepted) return;
    ranges.push_back(dialog.range());
    append_row(list, ranges.back());
}

void CAdvanced::remove_range(QTableWidget* list, std::vector<IpRange>& ranges) {
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const int row = std::min_element(selected.begin(), selected.end(),
                                     [](const QModelIndex& a, const QModelIndex& b) {
                                         return a.row() < b.row();
                                     })
                        ->row();
    list->removeRow(row);
    ranges.erase(ranges.begin() + row);
}

void CAdvanced::accept() {
    const bool log_on = enable_log_->isChecked();
    if (log_on) {
        if (log_file_->text().isEmpty()) {
            seams_.messages.show_message(
                "you choose enable log file,please save a log file by click save button!",
                kErrorTitle, MessageIcon::error);
            return;
        }
        log_path_ = log_file_->text().toStdString();
    }
    log_enabled_ = log_on;
    ip_strategy_enabled_ = enable_ip_strategy_->isChecked();
    store_values(record_);
    QDialog::accept();
}

void CAdvanced::store_values(PortMapping& target) const {
    target.enable_log = log_enabled_ ? "1" : "0";
    target.enable_ip_strategy = ip_strategy_enabled_ ? "1" : "0";
    target.log_file = log_path_.view();
    target.allow_ip = allow_ranges_;
    target.block_ip = block_ranges_;
}

}  // namespace zk
