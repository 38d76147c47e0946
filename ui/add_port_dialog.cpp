#include "ui/add_port_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <string>

#include "core/validation.h"
#include "ui/advanced_dialog.h"
#include "ui/named_widgets.h"

namespace zk {
namespace {

constexpr int kTcp = 0;
constexpr int kUdp = 1;

// Columns of the grid: label, first value, "to", last value, "single", "range".
constexpr int kLabelColumn = 0;
constexpr int kValueColumn = 1;
constexpr int kToColumn = 2;
constexpr int kEndColumn = 3;
constexpr int kSingleColumn = 4;
constexpr int kRangeColumn = 5;
constexpr int kColumns = 6;

// Controls that come and go keep their place, so the grid does not move under the user.
void keep_space_when_hidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

CAddPort::CAddPort(const PortMapping& record, MappingTable table, DesktopSeams& seams,
                   std::function<std::optional<std::string>(const PortMapping&)> store_record,
                   std::function<void(PortMapping&, QWidget*)> open_ssl_settings, QWidget* parent)
    : QDialog(parent),
      record_(record),
      kind_(record.name.empty() ? EditKind::add : EditKind::edit),
      table_(std::move(table)),
      seams_(seams),
      store_record_(std::move(store_record)),
      open_ssl_settings_(std::move(open_ssl_settings)),
      name_(record_field<decltype(PortMapping::name)>("name")),
      type_(new QComboBox),
      http_proxy_(new QCheckBox("Run as a http proxy")),
      ssl_(new QPushButton("SSL Encryption")),
      listen_port_(record_field<decltype(PortMapping::listen_port)>("listen_port", true)),
      listen_to_(new QLabel("to")),
      listen_port_end_(
          record_field<decltype(PortMapping::listen_port_end)>("listen_port_end", true)),
      listen_single_(radio_button("single", "listen_single")),
      listen_range_(radio_button("range", "listen_range")),
      destination_ip_(record_field<decltype(PortMapping::destination_ip)>("destination_ip")),
      destination_port_(
          record_field<decltype(PortMapping::destination_port)>("destination_port", true)),
      destination_to_(new QLabel("to")),
      destination_port_end_(
          record_field<decltype(PortMapping::destination_port_end)>("destination_port_end", true)),
      destination_single_(radio_button("single", "destination_single")),
      destination_range_(radio_button("range", "destination_range")),
      max_sessions_(record_field<decltype(PortMapping::max_sessions)>("max_sessions", true)),
      auto_start_(new QCheckBox("auto port mapping when this software startup ")),
      advanced_(new CAdvanced(record_, seams, this)) {
    setWindowTitle("Add Port Mapping");
    type_->setObjectName("type");
    type_->addItems({"TCP", "UDP"});
    http_proxy_->setObjectName("http_proxy");
    ssl_->setObjectName("ssl");
    ssl_->setAutoDefault(false);
    destination_port_end_->setReadOnly(true);
    auto_start_->setObjectName("auto_start");
    for (QWidget* widget : std::initializer_list<QWidget*>{
             listen_to_, listen_port_end_, destination_to_, destination_port_end_,
             destination_single_, destination_range_}) {
        keep_space_when_hidden(widget);
    }
    // Two exclusive pairs under one parent need groups of their own.
    auto* listen_kind = new QButtonGroup(this);
    listen_kind->addButton(listen_single_);
    listen_kind->addButton(listen_range_);
    auto* destination_kind = new QButtonGroup(this);
    destination_kind->addButton(destination_single_);
    destination_kind->addButton(destination_range_);

    build_layout();
    load_record();
    connect_reactions();
}

void CAddPort::build_layout() {
    auto* grid = new QGridLayout;
    const auto add_label = [grid](int row, const char* text) {
        grid->addWidget(new QLabel(text), row, kLabelColumn);
    };
    const auto add_port_row = [&](int row, const char* label, QLineEdit* first, QLabel* to,
                                  QLineEdit* last, QRadioButton* single, QRadioButton* range) {
        add_label(row, label);
        grid->addWidget(first, row, kValueColumn);
        grid->addWidget(to, row, kToColumn);
        grid->addWidget(last, row, kEndColumn);
        grid->addWidget(single, row, kSingleColumn);
        grid->addWidget(range, row, kRangeColumn);
    };
    const int wide = kColumns - kValueColumn;

    add_label(0, "Name: ");
    grid->addWidget(name_, 0, kValueColumn, 1, wide);
    add_label(1, "Type: ");
    grid->addWidget(type_, 1, kValueColumn);
    grid->addWidget(http_proxy_, 1, kToColumn, 1, kSingleColumn - kToColumn);
    grid->addWidget(ssl_, 1, kSingleColumn, 1, 2);
    add_port_row(2, "Listen Port: ", listen_port_, listen_to_, listen_port_end_, listen_single_,
                 listen_range_);
    add_label(3, "Destination IP: ");
    grid->addWidget(destination_ip_, 3, kValueColumn, 1, wide);
    add_port_row(4, "Destination Port: ", destination_port_, destination_to_, destination_port_end_,
                 destination_single_, destination_range_);
    add_label(5, "Maximum Sessions:");
    grid->addWidget(max_sessions_, 5, kValueColumn);
    grid->addWidget(new QLabel("unlimited if leave empty"), 5, kToColumn, 1, kColumns - kToColumn);
    grid->addWidget(auto_start_, 6, kLabelColumn, 1, kColumns);
    // A port has at most five digits; the fields need not stretch beyond a comfortable width.
    const int port_width = fontMetrics().horizontalAdvance("0000000000");
    for (QLineEdit* port : {listen_port_, listen_port_end_, destination_port_,
                            destination_port_end_, max_sessions_}) {
        port->setMinimumWidth(port_width);
    }
    grid->setColumnStretch(kValueColumn, 1);
    grid->setColumnStretch(kEndColumn, 1);

    auto* advanced = new QPushButton("Advanced");
    advanced->setObjectName("advanced");
    advanced->setAutoDefault(false);
    auto* ok = new QPushButton("OK");
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("CANCEL");
    cancel->setObjectName("cancel");
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(advanced);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(advanced, &QPushButton::clicked, this, &CAddPort::open_advanced);
    connect(ok, &QPushButton::clicked, this, &CAddPort::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddPort::reject);
    connect(ssl_, &QPushButton::clicked, this, [this] { open_ssl_settings_(record_, this); });
}

void CAddPort::load_record() {
    name_->setText(qtext(record_.name));
    type_->setCurrentIndex(record_.type == "TCP" || record_.type.empty() ? kTcp : kUdp);
    type_changed();

    listen_port_->setText(qtext(record_.listen_port));
    const bool listen_single = record_.listen_port_type == "0" || record_.listen_port_type.empty();
    listen_single_->setChecked(listen_single);
    listen_range_->setChecked(!listen_single);
    listen_to_->setVisible(!listen_single);
    listen_port_end_->setVisible(!listen_single);
    destination_single_->setVisible(!listen_single);
    destination_range_->setVisible(!listen_single);
    if (!listen_single) listen_port_end_->setText(qtext(record_.listen_port_end));

    destination_ip_->setText(qtext(record_.destination_ip));
    destination_port_->setText(qtext(record_.destination_port));
    const bool destination_single =
        record_.destination_port_type == "0" || record_.destination_port_type.empty();
    destination_single_->setChecked(destination_single);
    destination_range_->setChecked(!destination_single);
    destination_to_->setVisible(!destination_single);
    destination_port_end_->setVisible(!destination_single);
    if (!destination_single) destination_port_end_->setText(qtext(record_.destination_port_end));

    max_sessions_->setText(qtext(record_.max_sessions));
    auto_start_->setChecked(record_.auto_start != "N" && !record_.auto_start.empty());
    smart_route_ = is_set(record_.enable_smart);

    if (record_.http_proxy != "N" && !record_.http_proxy.empty()) {
        http_proxy_->setChecked(true);
        set_destination_enabled(false);
        type_->setCurrentIndex(kTcp);
        type_->setEnabled(false);
        type_changed();
    }
    // Smart route is configured in the web interface; here the destination is only shown.
    if (smart_route_) {
        http_proxy_->setChecked(false);
        http_proxy_->setEnabled(false);
        set_destination_enabled(false);
        destination_ip_->setText(qtext(kSmartRoutePlaceholder));
        destination_port_->setText("0");
        destination_port_end_->setText("0");
    }
}

void CAddPort::connect_reactions() {
    connect(type_, &QComboBox::currentIndexChanged, this, &CAddPort::type_changed);
    connect(http_proxy_, &QCheckBox::clicked, this, &CAddPort::http_proxy_clicked);
    connect(listen_single_, &QRadioButton::clicked, this, &CAddPort::listen_single_clicked);
    connect(listen_range_, &QRadioButton::clicked, this, &CAddPort::listen_range_clicked);
    connect(destination_single_, &QRadioButton::clicked, this,
            &CAddPort::destination_single_clicked);
    connect(destination_range_, &QRadioButton::clicked, this, &CAddPort::destination_range_clicked);
    // A destination held by the HTTP proxy or by smart route is disabled and keeps its "0"
    // ports: the automatic filling applies only to a destination the user may edit.
    connect(listen_port_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!destination_port_->isEnabled()) return;
        destination_port_->setText(text);
        recompute_destination_end();
    });
    connect(listen_port_end_, &QLineEdit::textChanged, this, &CAddPort::recompute_destination_end);
    connect(destination_port_, &QLineEdit::textChanged, this, &CAddPort::recompute_destination_end);
}

void CAddPort::type_changed() {
    ssl_->setEnabled(open_ssl_settings_ && type_->currentIndex() == kTcp);
}

void CAddPort::http_proxy_clicked(bool checked) {
    set_destination_enabled(!checked);
    type_->setEnabled(!checked);
    if (!checked) return;
    type_->setCurrentIndex(kTcp);
    destination_ip_->setText(qtext(kHttpProxyPlaceholder));
    destination_port_->setText("0");
    destination_port_end_->setText("0");
}

void CAddPort::listen_single_clicked() {
    for (QWidget* widget : std::initializer_list<QWidget*>{
             listen_to_, listen_port_end_, destination_single_, destination_range_, destination_to_,
             destination_port_end_}) {
        widget->hide();
    }
}

void CAddPort::listen_range_clicked() {
    listen_to_->show();
    listen_port_end_->show();
    listen_port_end_->setText(listen_port_->text());
    destination_single_->show();
    destination_range_->show();
    destination_range_->setChecked(true);
    destination_range_clicked();
}

void CAddPort::destination_single_clicked() {
    destination_to_->hide();
    destination_port_end_->hide();
}

void CAddPort::destination_range_clicked() {
    destination_to_->show();
    destination_port_end_->show();
    recompute_destination_end();
}

void CAddPort::recompute_destination_end() {
    if (!destination_port_->isEnabled()) return;
    const int first = text_to_int(text_of(listen_port_));
    const int last = text_to_int(text_of(listen_port_end_));
    if (last - first < 0) return;
    // Long digit strings read as the largest int; the sum of two of them needs more room.
    const long long destination = text_to_int(text_of(destination_port_));
    destination_port_end_->setText(QString::number(destination + (last - first)));
}

void CAddPort::set_destination_enabled(bool enabled) {
    for (QWidget* widget :
         std::initializer_list<QWidget*>{destination_ip_, destination_single_, destination_range_,
                                         destination_port_, destination_port_end_}) {
        widget->setEnabled(enabled);
    }
}

void CAddPort::open_advanced() {
    if (advanced_->exec() != QDialog::Accepted || !store_record_) return;
    if (const auto error = store_record_(record_)) {
        seams_.messages.show_message(*error, kErrorTitle, MessageIcon::error);
    }
}

PortMapping CAddPort::entered_mapping() const {
    PortMapping entered = record_;
    entered.name = text_of(name_);
    entered.http_proxy = http_proxy_->isChecked() ? "Y" : "N";
    entered.type = type_->currentText().toStdString();
    entered.listen_port = text_of(listen_port_);
    entered.destination_ip = text_of(destination_ip_);
    entered.destination_port = text_of(destination_port_);
    entered.max_sessions = text_of(max_sessions_);
    // Ends not in use are stored empty.
    entered.listen_port_end = "";
    entered.destination_port_end = "";
    if (listen_single_->isChecked()) {
        entered.listen_port_type = "0";
        entered.destination_port_type = "0";
    } else {
        entered.listen_port_type = "1";
        entered.listen_port_end = text_of(listen_port_end_);
        entered.destination_port_type = destination_single_->isChecked() ? "0" : "1";
        if (!destination_single_->isChecked()) {
            entered.destination_port_end = text_of(destination_port_end_);
        }
    }
    entered.auto_start = auto_start_->isChecked() ? "Y" : "N";
    advanced_->store_values(entered);
    entered.enable_smart = smart_route_ ? "1" : "0";
    return entered;
}

void CAddPort::accept() {
    const PortMapping entered = entered_mapping();
    if (const auto error = validate_mapping(entered, table_, kind_)) {
        seams_.messages.show_message(*error, kErrorTitle, MessageIcon::error);
        return;
    }
    result_ = entered;
    QDialog::accept();
}

}  // namespace zk
