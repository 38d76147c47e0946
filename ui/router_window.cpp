#include "ui/router_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

#include "core/validation.h"
#include "ui/named_widgets.h"
#include "upnp/gateway_text.h"

namespace zk {
namespace {

constexpr const char* kColumnTitles[] = {"External Port", "Protocol",    "Internal Client",
                                         "Internal Port", "Description", "Enabled",
                                         "Lease"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumnTitles));

// The gateway's text with its control characters replaced: it comes from the network.
QString shown(const std::string& text) {
    return qtext(printable_text(text));
}

// The two optional fields in words; what a gateway sent otherwise is shown as it is.
std::string enabled_text(const std::string& enabled) {
    return enabled == "1" ? "yes" : enabled == "0" ? "no" : enabled;
}

std::string lease_text(const std::string& lease) {
    if (lease == "0") return "permanent";
    return lease.empty() ? lease : lease + " s";
}

// Page 0: what the window shows while it searches.
QWidget* search_page(QPushButton* cancel) {
    auto* page = new QWidget;
    auto* label = new QLabel("Searching for the router...");
    label->setObjectName("searching");
    auto* progress = new QProgressBar;
    progress->setObjectName("progress");
    progress->setRange(0, 0);  // indeterminate: the search does not know how long it takes
    progress->setTextVisible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    layout->addWidget(label);
    layout->addWidget(progress);
    layout->addStretch();
    layout->addLayout(buttons);
    return page;
}

}  // namespace

RouterWindow::RouterWindow(UpnpOptions options, DesktopSeams& seams, QWidget* parent)
    : QDialog(parent),
      options_(std::move(options)),
      seams_(seams),
      pages_(new QStackedWidget),
      external_address_(new QLabel),
      list_(row_list("mapping_list", kColumnTitles)) {
    setWindowTitle("Router Port Mappings");
    setModal(true);
    external_address_->setObjectName("external_ip");
    external_address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Room for all seven columns, so nothing scrolls sideways.
    list_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(100, 'x')));

    auto* cancel = push_button("Cancel", "cancel");
    auto* refresh_button = push_button("Refresh", "refresh");
    auto* close = push_button("Close", "close");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(refresh_button, &QPushButton::clicked, this, &RouterWindow::refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    // However the window closes (Cancel, Escape, the title bar), a pending report is dropped.
    connect(this, &QDialog::finished, &query_, &RouterQuery::cancel);
    connect(&query_, &RouterQuery::finished, this, &RouterWindow::show_report);

    auto* listing = new QWidget;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(refresh_button);
    buttons->addWidget(close);
    auto* listing_layout = new QVBoxLayout(listing);
    listing_layout->addWidget(external_address_);
    listing_layout->addWidget(list_, 1);
    listing_layout->addLayout(buttons);
    pages_->addWidget(search_page(cancel));
    pages_->addWidget(listing);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    resize(sizeHint().width(), 320);
    refresh();
}

void RouterWindow::refresh() {
    pages_->setCurrentIndex(0);
    query_.start(options_);
}

void RouterWindow::show_report(const RouterReport& report) {
    if (report.failure) {
        // Closed first, so the box does not stand over a window that has nothing to show.
        reject();
        seams_.messages.show_message(*report.failure, kErrorTitle, MessageIcon::error);
        return;
    }
    external_address_->setText("External IP: " + (report.external_address.empty()
                                                      ? QString("unknown")
                                                      : shown(report.external_address)));
    list_->setRowCount(static_cast<int>(report.entries.size()));
    for (int r = 0; r < list_->rowCount(); ++r) {
        const RouterPortMapping& m = report.entries[static_cast<std::size_t>(r)];
        const std::string cells[kColumnCount] = {m.external_port,    m.protocol,
                                                 m.internal_client,  m.internal_port,
                                                 m.description,      enabled_text(m.enabled),
                                                 lease_text(m.lease)};
        for (int c = 0; c < kColumnCount; ++c)
            list_->setItem(r, c, new QTableWidgetItem(shown(cells[c])));
    }
    pages_->setCurrentIndex(1);
}

void open_router_window(const UpnpOptions& options, DesktopSeams& seams, QWidget* parent) {
    RouterWindow window(options, seams, parent);
    window.exec();
}

}  // namespace zk
