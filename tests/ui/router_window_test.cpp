// The "Router Port Mappings" window against scripted gateways on loopback: the listing, each
// failure message shown once, and Cancel while the gateway is still answering.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "support/scripted_gateway.h"
#include "ui/desktop_test_support.h"
#include "ui/router_window.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

constexpr const char* kNoRouter =
    "Failed to find a router.Please make sure your router's UPnP option is enabled.If you still "
    "get this error,you should set your windows firewall or other firewall you installed,open "
    "port 1900 of UDP and port 2869 of TCP.";
constexpr const char* kNoMappings = "Failed to get router's port mappings!";
constexpr int kLimitMs = 20000;  // generous: the tests also run sanitized on loaded cores

std::string entry(const std::string& external_port, const std::string& protocol,
                  const std::string& client, const std::string& description) {
    return test::soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                            test::entry_fields(external_port, protocol, "80", client, description));
}

test::GatewayScript working_gateway() {
    test::GatewayScript script;
    script.description = test::description_xml("", std::string(kServiceWanIp), "/ctl/IPConn");
    script.external_address_reply =
        test::soap_reply({"s:", "u:", ""}, "GetExternalIPAddressResponse",
                         "<NewExternalIPAddress>203.0.113.7</NewExternalIPAddress>");
    script.entry_replies = {entry("8080", "TCP", "192.168.1.10", "web\x1b[2J"),
                            entry("5353", "UDP", "192.168.1.11", "dns")};
    return script;
}

// A gateway that answers the search but whose description address refuses connections.
struct UnreachableDescription {
    test::ClosedPort closed;
    test::SsdpResponder ssdp{{"upnp:rootdevice"},
                             {"HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\nLOCATION: "
                              "http://127.0.0.1:" +
                              std::to_string(closed.port()) + "/rootDesc.xml\r\n\r\n"}};
    UpnpOptions options() const {
        UpnpOptions options;
        options.tries = 1;
        options.search_address = "127.0.0.1";
        options.search_port = ssdp.port();
        options.connect_pause = 0ms;
        return options;
    }
};

enum class Failure { no_router, description_unreachable, no_wan_service, unreadable_entry };

QString cell(const RouterWindow& window, int row, int column) {
    const QTableWidgetItem* item = window.list()->item(row, column);
    return item ? item->text() : QString("(no cell)");
}

}  // namespace

Q_DECLARE_METATYPE(Failure)

class RouterWindowTest : public QObject {
    Q_OBJECT
private slots:
    void lists_the_gateways_mappings();
    void each_failure_is_shown_once_and_closes_the_window_data();
    void each_failure_is_shown_once_and_closes_the_window();
    void cancel_closes_at_once_and_drops_the_result();
};

void RouterWindowTest::lists_the_gateways_mappings() {
    test::ScriptedGateway gateway(working_gateway());
    test::FakeSeams fakes;
    RouterWindow window(gateway.options(), fakes.seams);
    window.show();
    QCOMPARE(window.windowTitle(), QString("Router Port Mappings"));
    QVERIFY(test::child<QLabel>(&window, "searching")->isVisible());
    QCOMPARE(test::child<QProgressBar>(&window, "progress")->maximum(), 0);

    QTRY_VERIFY_WITH_TIMEOUT(window.list()->isVisible(), kLimitMs);
    QCOMPARE(test::child<QLabel>(&window, "external_ip")->text(),
             QString("External IP: 203.0.113.7"));
    QStringList titles;
    for (int c = 0; c < window.list()->columnCount(); ++c)
        titles << window.list()->horizontalHeaderItem(c)->text();
    QCOMPARE(titles, (QStringList{"External Port", "Protocol", "Internal Client", "Internal Port",
                                  "Description", "Enabled", "Lease"}));
    QCOMPARE(window.list()->rowCount(), 2);
    const QStringList first{"8080", "TCP", "192.168.1.10", "80", "web?[2J", "yes", "permanent"};
    const QStringList second{"5353", "UDP", "192.168.1.11", "80", "dns", "yes", "permanent"};
    for (int c = 0; c < 7; ++c) {
        QCOMPARE(cell(window, 0, c), first[c]);
        QCOMPARE(cell(window, 1, c), second[c]);
    }
    QVERIFY(fakes.sink.messages().empty());
    const std::size_t first_searches = gateway.searches().size();

    // Refresh searches again and lists again.
    test::child<QPushButton>(&window, "refresh")->click();
    QVERIFY(test::child<QLabel>(&window, "searching")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(window.list()->isVisible(), kLimitMs);
    QCOMPARE(gateway.searches().size(), 2 * first_searches);
    QCOMPARE(window.list()->rowCount(), 2);
}

void RouterWindowTest::each_failure_is_shown_once_and_closes_the_window_data() {
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("no gateway answers the search") << Failure::no_router << QString(kNoRouter);
    QTest::newRow("description address refuses")
        << Failure::description_unreachable << QString("Failed to get router's description!");
    QTest::newRow("description without a WAN service")
        << Failure::no_wan_service << QString("Failed to parse router's description!");
    QTest::newRow("unreadable port mapping entry")
        << Failure::unreadable_entry << QString(kNoMappings);
}

void RouterWindowTest::each_failure_is_shown_once_and_closes_the_window() {
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    test::GatewayScript script = working_gateway();
    UpnpOptions options;
    std::unique_ptr<UnreachableDescription> unreachable;
    switch (failure) {
        case Failure::no_router: script.search_targets = {}; break;
        case Failure::description_unreachable:
            unreachable = std::make_unique<UnreachableDescription>();
            options = unreachable->options();
            break;
        case Failure::no_wan_service:
            script.description = test::description_xml(
                "", "urn:schemas-upnp-org:service:Layer3Forwarding:1", "/ctl");
            break;
        case Failure::unreadable_entry:
            script.entry_replies[1] =
                test::soap_reply({"s:", "u:", ""}, "GetGenericPortMappingEntryResponse",
                                 "<NewExternalPort>1</NewExternalPort>");
            break;
    }
    test::ScriptedGateway gateway(script);
    if (!unreachable) {
        options = gateway.options();
        options.tries = 1;
    }
    test::FakeSeams fakes;
    RouterWindow window(options, fakes.seams);
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kLimitMs);
    QCOMPARE(fakes.sink.messages(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(fakes.sink.titles(), std::vector<std::string>{"ERROR!"});
    QCOMPARE(window.result(), int(QDialog::Rejected));
}

void RouterWindowTest::cancel_closes_at_once_and_drops_the_result() {
    // The entry replies trickle until the exchange's limit ends them with a failure, which an
    // open window shows: the second window below is the control for the cancelled first.
    test::GatewayScript script = working_gateway();
    script.trickle_when = "GetGenericPortMappingEntry";
    script.trickle_gap = 300ms;
    test::ScriptedGateway cancelled_gateway(script);
    test::ScriptedGateway control_gateway(script);
    UpnpOptions cancelled_options = cancelled_gateway.options();
    cancelled_options.exchange_limit = 1000ms;
    UpnpOptions control_options = control_gateway.options();
    control_options.exchange_limit = 2000ms;  // ends well after the cancelled one
    const auto asked_for_entries = [](const test::ScriptedGateway& gateway) {
        for (const std::string& request : gateway.requests()) {
            if (request.find("GetGenericPortMappingEntry") != std::string::npos) return true;
        }
        return false;
    };

    test::FakeSeams fakes;
    RouterWindow cancelled(cancelled_options, fakes.seams);
    cancelled.show();
    QTRY_VERIFY_WITH_TIMEOUT(asked_for_entries(cancelled_gateway), kLimitMs);
    QVERIFY(test::child<QLabel>(&cancelled, "searching")->isVisible());
    test::child<QPushButton>(&cancelled, "cancel")->click();
    QVERIFY(!cancelled.isVisible());

    RouterWindow control(control_options, fakes.seams);
    control.show();
    QTRY_VERIFY_WITH_TIMEOUT(!control.isVisible(), kLimitMs);
    QVERIFY(asked_for_entries(control_gateway));
    // The control's failure alone: the cancelled search ended sooner and was not shown.
    QCOMPARE(fakes.sink.messages(), std::vector<std::string>{kNoMappings});
}

QTEST_MAIN(RouterWindowTest)
#include "router_window_test.moc"
