// "Port Forwarding Tester" over a real model and a scripted gateway on loopback: the OK checks,
// the page it opens, the address pre-fill and what it tells about the port; and "View IP".

#include <sys/stat.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/app_model.h"
#include "core/config_file.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/scripted_gateway.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "ui/desktop_test_support.h"
#include "ui/port_tester_dialog.h"
#include "ui/view_ip_dialog.h"

using namespace std::chrono_literals;

namespace zk::test {
namespace {

constexpr const char* kHost = "www.zelkora.net";

std::string entry(const std::string& external_port, const std::string& client,
                  const std::string& internal_port) {
    return soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                      entry_fields(external_port, "TCP", internal_port, client, "zelkora"));
}

// A gateway that tells its address (203.0.113.7) and forwards `forwarded_port`; or, without
// search targets, one that never answers the search.
GatewayScript gateway_script(int forwarded_port, bool answers = true) {
    GatewayScript script;
    if (!answers) script.search_targets = {};
    script.description = description_xml("", std::string(kServiceWanIp), "/ctl/IPConn");
    script.external_address_reply =
        soap_reply({"s:", "u:", ""}, "GetExternalIPAddressResponse",
                   "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>");
    const std::string port = std::to_string(forwarded_port);
    script.entry_replies = {entry(port, "192.168.1.20", port)};
    script.past_end_reply = soap_fault(713);
    return script;
}

// A program directory whose mapping "web" runs on a free loopback port, the model on it and a
// scripted gateway forwarding that port.
struct TesterDesktop {
    explicit TesterDesktop(bool gateway_answers = true)
        : port(free_port()), gateway(gateway_script(port, gateway_answers)) {
        PortMapping web = relay_mapping("TCP", "web", port, "127.0.0.1", 9);
        web.auto_start = "Y";
        save_configuration(dir.file("config.xml"), AppSettings{}, {web}, {});
        ::mkdir(dir.file("log").c_str(), 0700);
        model = std::make_unique<AppModel>(dir.dir(), fakes.sink, alert, fast_timings());
        model->start_up();
        model->wait_for_starts(30s);
    }
    ~TesterDesktop() {
        dialog.reset();
        model.reset();
    }

    CCheck_Port* open() {
        dialog = std::make_unique<CCheck_Port>(*model, gateway.options(), kHost, fakes.seams);
        dialog->show();
        return dialog.get();
    }
    // Waits until the router's report has been taken (the status line cleared).
    bool router_answered() const {
        return wait_for_qt([this] { return status()->text().isEmpty(); });
    }
    QLabel* status() const { return child<QLabel>(dialog.get(), "router_status"); }
    QLineEdit* address() const { return child<QLineEdit>(dialog.get(), "ip_address"); }
    QLineEdit* port_field() const { return child<QLineEdit>(dialog.get(), "port_number"); }
    QString knowledge() const {
        return child<QPlainTextEdit>(dialog.get(), "knowledge")->toPlainText();
    }
    void click_ok() const { child<QPushButton>(dialog.get(), "ok")->click(); }

    // Polls `predicate` while the UI thread handles its events.
    template <typename Predicate>
    static bool wait_for_qt(Predicate predicate) {
        return wait_for(
            [&] {
                QCoreApplication::processEvents();
                return predicate();
            },
            30s);
    }

    int port;
    TempDir dir;
    FakeSeams fakes;
    SilentAlert alert;
    ScriptedGateway gateway;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<CCheck_Port> dialog;
};

QStringList items(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

}  // namespace

class PortTesterTest : public QObject {
    Q_OBJECT

private slots:
    void ok_refuses_input_data();
    void ok_refuses_input();
    void ok_opens_the_tester_page_data();
    void ok_opens_the_tester_page();
    void opening_fills_the_address_and_tells_about_the_port();
    void a_typed_address_is_kept();
    void without_a_gateway_the_address_stays_empty();
    void view_ip_lists_the_addresses_in_order_data();
    void view_ip_lists_the_addresses_in_order();
    void view_ip_opens_on_the_machine_addresses();
};

void PortTesterTest::ok_refuses_input_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");
    const QString bad_address = "invalid ip address, please reenter again!";
    const QString bad_port = "invalid port, please reenter again!";
    QTest::newRow("empty address") << ""
                                   << "8080" << bad_address;
    QTest::newRow("address of spaces only") << "   "
                                            << "8080" << bad_address;
    QTest::newRow("empty port") << "203.0.113.5"
                                << "" << bad_port;
    QTest::newRow("port 0") << "203.0.113.5"
                            << "0" << bad_port;
    QTest::newRow("port above 65535") << "203.0.113.5"
                                      << "70000" << bad_port;
}

void PortTesterTest::ok_refuses_input() {
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, message);
    TesterDesktop d;
    d.open();
    QVERIFY(d.router_answered());
    d.address()->setText(address);
    d.port_field()->setText(port);
    d.click_ok();
    QCOMPARE(d.fakes.sink.messages(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(d.fakes.sink.titles(), std::vector<std::string>{"ERROR!"});
    QVERIFY(d.fakes.processes.launches.empty());
    QVERIFY(d.dialog->isVisible());
    QCOMPARE(d.address()->text(), address);
    QCOMPARE(d.port_field()->text(), port);
}

void PortTesterTest::ok_opens_the_tester_page_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("query");
    QTest::newRow("plain address and port") << "203.0.113.5"
                                            << "8080"
                                            << "?remote_address=203.0.113.5&port=8080";
    QTest::newRow("address that would add a query key")
        << "203.0.113.5&port=1#x"
        << "8080"
        << "?remote_address=203.0.113.5%26port%3D1%23x&port=8080";
    QTest::newRow("address with a space and a slash") << "a b/c"
                                                      << "443"
                                                      << "?remote_address=a%20b%2Fc&port=443";
}

void PortTesterTest::ok_opens_the_tester_page() {
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, query);
    TesterDesktop d;
    // Through the menu's entry point, modally, so the dialog's own loop runs the query.
    when_modal<CCheck_Port>([&](CCheck_Port* dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(dialog, "router_status")->text().isEmpty(), 30000);
        child<QLineEdit>(dialog, "ip_address")->setText(address);
        child<QLineEdit>(dialog, "port_number")->setText(port);
        child<QPushButton>(dialog, "ok")->click();
        QVERIFY(!dialog->isVisible());
    });
    open_port_tester(*d.model, d.gateway.options(), kHost, d.fakes.seams, nullptr);
    const std::vector<std::vector<std::string>> expected = {
        {"xdg-open",
         "http://www.zelkora.net/port-forwarding-software/port_tester.pl" + query.toStdString()}};
    QCOMPARE(d.fakes.processes.launches, expected);
    QVERIFY(d.fakes.sink.messages().empty());
}

void PortTesterTest::opening_fills_the_address_and_tells_about_the_port() {
    TesterDesktop d;
    d.open();
    QCOMPARE(d.dialog->windowTitle(), QString("Port Forwarding Tester"));
    QCOMPARE(d.status()->text(), QString("Asking the router for its external address..."));
    QCOMPARE(d.port_field()->maxLength(), 5);
    QCOMPARE(d.address()->maxLength(), 49);
    // Typed before the router answers: the table is not known yet.
    d.port_field()->setText(QString::number(d.port));
    const QString port = QString::number(d.port);
    QCOMPARE(d.knowledge(), QString("Zelkora listens on port %1 (mapping \"web\").\n"
                                    "The router's table is unknown.\n")
                                .arg(port));
    QVERIFY(d.router_answered());
    QCOMPARE(d.address()->text(), QString("203.0.113.7"));
    QCOMPARE(d.knowledge(), QString("Zelkora listens on port %1 (mapping \"web\").\n"
                                    "The router forwards TCP %1 to 192.168.1.20:%1.\n")
                                .arg(port));
    // Another port: nobody listens on it and the router does not forward it.
    const int other = d.port == 65535 ? 65534 : d.port + 1;
    d.port_field()->setText(QString::number(other));
    QCOMPARE(d.knowledge(),
             QString("No running mapping listens on port %1: the tester will find it closed.\n"
                     "The router has no forwarding for port %1.\n")
                 .arg(other));
    // Letters never reach the port field.
    QTest::keyClicks(d.port_field(), "x");
    QCOMPARE(d.port_field()->text(), QString::number(other));
}

void PortTesterTest::a_typed_address_is_kept() {
    TesterDesktop d;
    d.open();
    // The report is delivered through the event loop, so this comes before it.
    d.address()->setText("198.51.100.9");
    QVERIFY(d.router_answered());
    QCOMPARE(d.address()->text(), QString("198.51.100.9"));
    // Positive control: the report did arrive and was read.
    d.port_field()->setText(QString::number(d.port));
    QVERIFY(d.knowledge().contains("The router forwards TCP"));
}

void PortTesterTest::without_a_gateway_the_address_stays_empty() {
    TesterDesktop d(false);
    d.open();
    QVERIFY(d.router_answered());
    QVERIFY(d.address()->text().isEmpty());
    d.port_field()->setText(QString::number(d.port));
    QCOMPARE(d.knowledge(), QString("Zelkora listens on port %1 (mapping \"web\").\n"
                                    "The router's table is unknown.\n")
                                .arg(d.port));
    QVERIFY(d.fakes.sink.messages().empty());
}

void PortTesterTest::view_ip_lists_the_addresses_in_order_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("two interfaces and loopback")
        << QStringList{"192.168.1.20", "10.0.0.7", "127.0.0.1"};
    QTest::newRow("loopback only") << QStringList{"127.0.0.1"};
    QTest::newRow("none") << QStringList{};
}

void PortTesterTest::view_ip_lists_the_addresses_in_order() {
    QFETCH(QStringList, addresses);
    std::vector<std::string> given;
    for (const QString& address : addresses)
        given.push_back(address.toStdString());
    CView_IP dialog(given);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("View IP"));
    auto* list = child<QComboBox>(&dialog, "local_ip");
    QCOMPARE(items(list), addresses);
    QCOMPARE(list->currentIndex(), addresses.isEmpty() ? -1 : 0);
    QVERIFY(!child<QLineEdit>(&dialog, "external_ip")->isVisible());
    QVERIFY(!child<QLabel>(&dialog, "external_ip_label")->isVisible());
    child<QPushButton>(&dialog, "ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void PortTesterTest::view_ip_opens_on_the_machine_addresses() {
    QStringList shown;
    when_modal<CView_IP>([&](CView_IP* dialog) {
        shown = items(child<QComboBox>(dialog, "local_ip"));
        child<QPushButton>(dialog, "cancel")->click();
    });
    open_view_ip(nullptr);
    QVERIFY(shown.contains("127.0.0.1"));
    QVERIFY(shown.last().startsWith("127."));
}

}  // namespace zk::test

QTEST_MAIN(zk::test::PortTesterTest)
#include "port_tester_test.moc"
