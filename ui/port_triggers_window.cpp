#include "ui/port_triggers_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/validation.h"
#include "ui/named_widgets.h"
#include "ui/trigger_dialog.h"

namespace zk {
namespace {

constexpr const char* kColumnTitles[] = {"Name",  "Status",     "Protocol", "Trigger Address",
                                         "Ports", "Period (ms)"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumnTitles));

// "6000", or "6000-6002" for a range.
std::string ports_text(const PortTrigger& t) {
    if (t.trigger_port_end.empty() || t.trigger_port_end == t.trigger_port.view()) {
        return t.trigger_port.str();
    }
    return t.trigger_port.str() + "-" + t.trigger_port_end.str();
}

// A new entry: TCP, one pass a second, started by hand.
PortTrigger new_trigger() {
    PortTrigger t;
    t.protocol = kTriggerProtocols[0];
    t.frequence = std::to_string(kShortestTriggerPeriodMs);
    t.auto_start = "N";
    return t;
}

}  // namespace

PortTriggersWindow::PortTriggersWindow(AppModel& model, ModelRelay& relay, DesktopSeams& seams,
                                       QWidget* parent)
    : QDialog(parent),
      model_(model),
      seams_(seams),
      list_(row_list("trigger_list", kColumnTitles)) {
    setWindowTitle("Port Triggers");
    setModal(false);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Room for every column at its usual width, so nothing scrolls sideways.
    list_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(80, 'x')));

    add_ = push_button("Add", "add");
    edit_ = push_button("Edit", "edit");
    delete_ = push_button("Delete", "delete");
    start_ = push_button("Start", "start");
    stop_ = push_button("Stop", "stop");
    auto* close = push_button("Close", "close");
    connect(add_, &QPushButton::clicked, this, &PortTriggersWindow::add_trigger);
    connect(edit_, &QPushButton::clicked, this, &PortTriggersWindow::edit_trigger);
    connect(delete_, &QPushButton::clicked, this, &PortTriggersWindow::delete_trigger);
    connect(start_, &QPushButton::clicked, this, &PortTriggersWindow::start_trigger);
    connect(stop_, &QPushButton::clicked, this, &PortTriggersWindow::stop_trigger);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &PortTriggersWindow::update_buttons);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] {
        if (edit_->isEnabled()) edit_trigger();
    });
    connect(&relay, &ModelRelay::changed, this, &PortTriggersWindow::refresh);

    auto* side = new QVBoxLayout;
    for (auto* button : {add_, edit_, delete_, start_, stop_})
        side->addWidget(button);
    side->addStretch();
    side->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(side);
    resize(sizeHint().width(), 300);
    refresh();
    list_->setFocus();
}

void PortTriggersWindow::refresh() {
    // The selection follows its entry's name: another front end may have moved the rows.
    const auto kept = selected();
    shown_ = model_.triggers();
    list_->setRowCount(static_cast<int>(shown_.size()));
    for (int r = 0; r < list_->rowCount(); ++r) {
        const PortTrigger& t = shown_[static_cast<std::size_t>(r)];
        const std::string cells[kColumnCount] = {t.name.str(),     t.status.str(),
                                                 t.protocol.str(), t.trigger_address.str(),
                                                 ports_text(t),    t.frequence.str()};
        for (int c = 0; c < kColumnCount; ++c) {
            const QString text = QString::fromStdString(cells[c]);
            if (QTableWidgetItem* item = list_->item(r, c)) {
                if (item->text() != text) item->setText(text);
            } else {
                list_->setItem(r, c, new QTableWidgetItem(text));
            }
        }
    }
    const auto row = kept ? std::find_if(shown_.begin(), shown_.end(),
                                         [&](const PortTrigger& t) { return t.name == kept->name; })
                          : shown_.end();
    if (row == shown_.end()) {
        list_->clearSelection();
    } else if (const int index = static_cast<int>(row - shown_.begin());
               !list_->selectionModel()->isRowSelected(index)) {
        list_->selectRow(index);
    }
    update_buttons();
}

std::optional<PortTrigger> PortTriggersWindow::selected() const {
    const auto rows = list_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    const auto row = static_cast<std::size_t>(rows.front().row());
    if (row >= shown_.size()) return std::nullopt;
    return shown_[row];
}

void PortTriggersWindow::update_buttons() {
    const auto entry = selected();
    const bool stopped = entry && entry->status == kTriggerStopped;
    const bool running = entry && entry->status == kTriggerRunning;
    edit_->setEnabled(stopped);
    delete_->setEnabled(stopped);
    start_->setEnabled(stopped);
    stop_->setEnabled(running);
}

void PortTriggersWindow::show_refusal(const std::optional<std::string>& message) {
    if (message) seams_.messages.show_message(*message, kErrorTitle, MessageIcon::error);
}

void PortTriggersWindow::add_trigger() {
    CAddTrigger dialog(new_trigger(), model_.triggers(), seams_, this);
    if (dialog.exec() == QDialog::Accepted) show_refusal(model_.add_trigger(dialog.trigger()));
    refresh();
}

void PortTriggersWindow::edit_trigger() {
    const auto entry = selected();
    if (!entry) return;
    // By name: the entry may move while the dialog is open.
    CAddTrigger dialog(*entry, model_.triggers(), seams_, this);
    if (dialog.exec() == QDialog::Accepted) {
        show_refusal(model_.edit_trigger(entry->name, dialog.trigger()));
    }
    refresh();
}

void PortTriggersWindow::delete_trigger() {
    if (const auto entry = selected()) show_refusal(model_.delete_trigger(entry->name));
    refresh();
}

void PortTriggersWindow::start_trigger() {
    if (const auto entry = selected()) show_refusal(model_.start_trigger(entry->name));
    refresh();
}

void PortTriggersWindow::stop_trigger() {
    if (const auto entry = selected()) show_refusal(model_.stop_trigger(entry->name));
    refresh();
}

PortTriggersWindow* open_port_triggers(AppModel& model, ModelRelay& relay, DesktopSeams& seams,
                                       QWidget* parent) {
    PortTriggersWindow* window = nullptr;
    if (parent) {
        // A closed window is hidden and deleted later: it does not count.
        for (auto* open : parent->findChildren<PortTriggersWindow*>(Qt::FindDirectChildrenOnly)) {
            if (open->isVisible()) window = open;
        }
    }
    if (window == nullptr) {
        window = new PortTriggersWindow(model, relay, seams, parent);
        QObject::connect(window, &QDialog::finished, window, &QObject::deleteLater);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace zk
