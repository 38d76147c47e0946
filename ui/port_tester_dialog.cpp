#include "ui/port_tester_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "core/fixed_text.h"
#include "core/validation.h"
#include "ui/dialog_buttons.h"
#include "ui/named_widgets.h"
#include "ui/router_query.h"

namespace zk {
namespace {

constexpr const char* kTesterPath = "/port-forwarding-software/port_tester.pl";
// Five digits at most: the field holds a port number and nothing else.
using PortText = FixedText<6>;
// As long as the external address the router client hands back.
using AddressText = FixedText<kExternalAddressMax + 1>;

std::string query_value(const std::string& text) {
    return QUrl::toPercentEncoding(qtext(text)).toStdString();
}

std::vector<GatewayForward> forwards_of(const RouterReport& report) {
    std::vector<GatewayForward> forwards;
    forwards.reserve(report.entries.size());
    for (const RouterPortMapping& entry : report.entries) {
        forwards.push_back(
            {entry.protocol, entry.external_port, entry.internal_client, entry.internal_port});
    }
    return forwards;
}

// The tester page for `address` and `port` on `host`. The values are percent-encoded: an
// address typed with "&" or "#" would otherwise add query keys or cut the query short.
std::string port_tester_url(const std::string& host, const std::string& address,
                            const std::string& port) {
    return "http://" + host + kTesterPath + "?remote_address=" + query_value(address) +
           "&port=" + query_value(port);
}

}  // namespace

CCheck_Port::CCheck_Port(AppModel& model, const UpnpOptions& router, std::string tester_host,
                         DesktopSeams& seams, QWidget* parent)
    : QDialog(parent),
      model_(model),
      tester_host_(std::move(tester_host)),
      seams_(seams),
      address_(record_field<AddressText>("ip_address")),
      port_(record_field<PortText>("port_number", true)),
      status_(new QLabel("Asking the router for its external address...")),
      knowledge_(new QPlainTextEdit),
      query_(new RouterQuery(this)) {
    setWindowTitle("Port Forwarding Tester");
    status_->setObjectName("router_status");
    knowledge_->setObjectName("knowledge");
    knowledge_->setReadOnly(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("IP Address: "), 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(new QLabel("Port Number: "), 1, 0);
    grid->addWidget(port_, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(status_);
    layout->addWidget(knowledge_);
    layout->addWidget(dialog_buttons(this, "Cancel"));

    connect(port_, &QLineEdit::textChanged, this, &CCheck_Port::show_knowledge);
    connect(query_, &RouterQuery::finished, this, &CCheck_Port::take_report);
    UpnpOptions options = router;
    options.tries = kPortTesterRouterTries;
    query_->start(options);
}

void CCheck_Port::take_report(const RouterReport& report) {
    status_->clear();
    if (report.failure) return;
    if (address_->text().isEmpty()) address_->setText(qtext(report.external_address));
    forwards_ = forwards_of(report);
    show_knowledge();
}

void CCheck_Port::show_knowledge() {
    const ModelSnapshot snapshot = model_.snapshot();
    QString text;
    for (const std::string& line :
         port_check_lines(snapshot.mappings, snapshot.rows, forwards_, text_of(port_))) {
        text += qtext(line) + '\n';
    }
    knowledge_->setPlainText(text);
}

void CCheck_Port::refuse(const char* message) {
    seams_.messages.show_message(message, kErrorTitle, MessageIcon::error);
}

void CCheck_Port::accept() {
    const std::string address = address_->text().trimmed().toStdString();
    const std::string port = text_of(port_);
    if (address.empty()) {
        refuse("invalid ip address, please reenter again!");
        return;
    }
    if (!port_number(port)) {
        refuse("invalid port, please reenter again!");
        return;
    }
    seams_.processes.launch({"xdg-open", port_tester_url(tester_host_, address, port)});
    QDialog::accept();
}

void open_port_tester(AppModel& model, const UpnpOptions& router, std::string tester_host,
                      DesktopSeams& seams, QWidget* parent) {
    CCheck_Port(model, router, std::move(tester_host), seams, parent).exec();
}

}  // namespace zk
