// The port mapping dialog driven as a user would: typing, clicking and OK, with its messages read
// from a recording sink.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>

#include "core/validation.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/add_ip_range_dialog.h"
#include "ui/add_port_dialog.h"
#include "ui/advanced_dialog.h"

namespace zk::test {
namespace {

using StoreRecord = std::function<std::optional<std::string>(const PortMapping&)>;
using OpenSsl = std::function<void(PortMapping&, QWidget*)>;

PortMapping named(const char* name) {
    PortMapping record;
    record.name = name;
    record.type = "TCP";
    record.listen_port_type = "0";
    record.listen_port = "8000";
    record.destination_ip = "127.0.0.1";
    record.destination_port_type = "0";
    record.destination_port = "9000";
    record.auto_start = "N";
    record.http_proxy = "N";
    return record;
}

void type_into(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

}  // namespace

class MappingDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeSeams> fakes_;

    std::unique_ptr<CAddPort> open(const PortMapping& record, MappingTable table = {},
                                   StoreRecord store = {}, OpenSsl ssl = {}) {
        auto dialog = std::make_unique<CAddPort>(record, std::move(table), fakes_->seams,
                                                 std::move(store), std::move(ssl));
        dialog->show();
        return dialog;
    }

private slots:
    void init() { fakes_ = std::make_unique<FakeSeams>(); }

    void captions() {
        const auto dialog = open(PortMapping{});
        QCOMPARE(dialog->windowTitle(), QString("Add Port Mapping"));
        QCOMPARE(child<QComboBox>(dialog.get(), "type")->count(), 2);
        QCOMPARE(child<QPushButton>(dialog.get(), "cancel")->text(), QString("CANCEL"));
    }

    void automatic_destination_ports_data() {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("listen_end");   // empty: single listen port
        QTest::addColumn<QString>("destination");  // empty: left as filled in
        QTest::addColumn<QString>("destination_port");
        QTest::addColumn<QString>("destination_end");
        QTest::newRow("listen port copied to destination") << "8000"
                                                           << ""
                                                           << ""
                                                           << "8000"
                                                           << "";
        QTest::newRow("range 8000-8010 to 9000") << "8000"
                                                 << "8010"
                                                 << "9000"
                                                 << "9000"
                                                 << "9010";
        QTest::newRow("range 8000-8010 to 7000") << "8000"
                                                 << "8010"
                                                 << "7000"
                                                 << "7000"
                                                 << "7010";
        // The range click fills the end with 8010, so the last destination port reads 8010
        // before the end drops below the start, and stays so.
        QTest::newRow("end below start leaves it") << "8010"
                                                   << "8000"
                                                   << "9000"
                                                   << "9000"
                                                   << "8010";
        QTest::newRow("destination beyond int reads as the largest int") << "8000"
                                                                         << "8010"
                                                                         << "99999999999"
                                                                         << "99999999999"
                                                                         << "2147483657";
    }
    void automatic_destination_ports() {
        QFETCH(QString, listen);
        QFETCH(QString, listen_end);
        QFETCH(QString, destination);
        const auto dialog = open(PortMapping{});
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), listen);
        if (!listen_end.isEmpty()) {
            child<QRadioButton>(dialog.get(), "listen_range")->click();
            QVERIFY(child<QRadioButton>(dialog.get(), "destination_range")->isChecked());
            QVERIFY(child<QLineEdit>(dialog.get(), "destination_port_end")->isVisible());
            type_into(child<QLineEdit>(dialog.get(), "listen_port_end"), listen_end);
        }
        if (!destination.isEmpty()) {
            type_into(child<QLineEdit>(dialog.get(), "destination_port"), destination);
        }
        QTEST(child<QLineEdit>(dialog.get(), "destination_port")->text(), "destination_port");
        QTEST(child<QLineEdit>(dialog.get(), "destination_port_end")->text(), "destination_end");
    }

    void listen_single_hides_the_range_controls() {
        const auto dialog = open(PortMapping{});
        const char* range_controls[] = {"listen_port_end", "destination_single",
                                        "destination_range", "destination_port_end"};
        for (const char* name : range_controls)
            QVERIFY2(!child<QWidget>(dialog.get(), name)->isVisible(), name);
        child<QRadioButton>(dialog.get(), "listen_range")->click();
        for (const char* name : range_controls)
            QVERIFY2(child<QWidget>(dialog.get(), name)->isVisible(), name);
        child<QRadioButton>(dialog.get(), "listen_single")->click();
        for (const char* name : range_controls)
            QVERIFY2(!child<QWidget>(dialog.get(), name)->isVisible(), name);
    }

    void ok_checks_in_order_data() {
        QTest::addColumn<QString>("opened_name");  // empty: Add, else Edit of that mapping
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("listen_end");  // empty: single listen port
        QTest::addColumn<QString>("destination_ip");
        QTest::addColumn<QString>("destination_port");
        QTest::addColumn<QString>("message");  // empty: accepted
        const QString later = "invalid listen port, please reenter again!";
        QTest::newRow("empty name, everything else empty too")
            << ""
            << ""
            << ""
            << ""
            << ""
            << ""
            << "invalid name, please reenter again!";
        QTest::newRow("name exists on Add")
            << ""
            << "Web"
            << ""
            << ""
            << ""
            << ""
            << "port mapping name already exist, please reenter again!";
        QTest::newRow("existing name accepted on Edit") << "Other"
                                                        << "Web"
                                                        << "8000"
                                                        << ""
                                                        << "127.0.0.1"
                                                        << "9000"
                                                        << "";
        QTest::newRow("differs only in case from an existing name") << ""
                                                                    << "web"
                                                                    << ""
                                                                    << ""
                                                                    << ""
                                                                    << "" << later;
        QTest::newRow("empty listen port") << ""
                                           << "new"
                                           << ""
                                           << ""
                                           << ""
                                           << "" << later;
        QTest::newRow("empty destination ip")
            << ""
            << "new"
            << "8000"
            << ""
            << ""
            << ""
            << "invalid destination ip address, please reenter again!";
        QTest::newRow("empty destination port")
            << ""
            << "new"
            << "8000"
            << ""
            << "127.0.0.1"
            << ""
            << "invalid destination port, please reenter again!";
        QTest::newRow("range without end")
            << ""
            << "new"
            << "8000"
            << "-"
            << "127.0.0.1"
            << "9000"
            << "invalid end range of listen port, please reenter again!";
        const QString not_larger =
            "the end range of listen port must larger than the start range of listen port, "
            "please reenter again!";
        QTest::newRow("range end equal to start") << ""
                                                  << "new"
                                                  << "8000"
                                                  << "8000"
                                                  << "127.0.0.1"
                                                  << "9000" << not_larger;
        QTest::newRow("range end below start") << ""
                                               << "new"
                                               << "8010"
                                               << "8000"
                                               << "127.0.0.1"
                                               << "9000" << not_larger;
        QTest::newRow("valid range") << ""
                                     << "new"
                                     << "8000"
                                     << "8003"
                                     << "127.0.0.1"
                                     << "9000"
                                     << "";
    }
    void ok_checks_in_order() {
        QFETCH(QString, opened_name);
        QFETCH(QString, listen);
        QFETCH(QString, listen_end);
        QFETCH(QString, destination_port);
        QFETCH(QString, message);
        const MappingTable table{named("Web"), named("Other")};
        PortMapping record;
        if (!opened_name.isEmpty()) record = named(opened_name.toUtf8().constData());
        const auto dialog = open(record, table);
        QFETCH(QString, name);
        child<QLineEdit>(dialog.get(), "name")->setText(name);
        child<QLineEdit>(dialog.get(), "listen_port")->setText(listen);
        if (!listen_end.isEmpty()) {
            child<QRadioButton>(dialog.get(), "listen_range")->click();
            child<QLineEdit>(dialog.get(), "listen_port_end")
                ->setText(listen_end == "-" ? "" : listen_end);
        }
        QFETCH(QString, destination_ip);
        child<QLineEdit>(dialog.get(), "destination_ip")->setText(destination_ip);
        child<QLineEdit>(dialog.get(), "destination_port")->setText(destination_port);
        child<QPushButton>(dialog.get(), "ok")->click();

        if (message.isEmpty()) {
            QVERIFY2(fakes_->sink.messages().empty(), "an accepted mapping shows no message");
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            const PortMapping stored = dialog->mapping();
            QCOMPARE(QString::fromStdString(stored.name.str()), name);
            QCOMPARE(stored.listen_port_type.str(), std::string(listen_end.isEmpty() ? "0" : "1"));
            return;
        }
        QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(fakes_->sink.titles(), std::vector<std::string>{kErrorTitle});
        QVERIFY2(dialog->isVisible(), "the dialog stays open");
        QCOMPARE(child<QLineEdit>(dialog.get(), "name")->text(), name);
    }

    void ok_stores_every_field() {
        const auto dialog = open(PortMapping{});
        child<QLineEdit>(dialog.get(), "name")->setText("Game");
        child<QComboBox>(dialog.get(), "type")->setCurrentText("UDP");
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), "8000");
        child<QRadioButton>(dialog.get(), "listen_range")->click();
        type_into(child<QLineEdit>(dialog.get(), "listen_port_end"), "8003");
        child<QLineEdit>(dialog.get(), "destination_ip")->setText("127.0.0.2");
        type_into(child<QLineEdit>(dialog.get(), "destination_port"), "9000");
        type_into(child<QLineEdit>(dialog.get(), "max_sessions"), "12");
        child<QCheckBox>(dialog.get(), "auto_start")->click();
        child<QPushButton>(dialog.get(), "ok")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));

        PortMapping expected;
        expected.name = "Game";
        expected.type = "UDP";
        expected.listen_port_type = "1";
        expected.listen_port = "8000";
        expected.listen_port_end = "8003";
        expected.destination_ip = "127.0.0.2";
        expected.destination_port_type = "1";
        expected.destination_port = "9000";
        expected.destination_port_end = "9003";
        expected.max_sessions = "12";
        expected.auto_start = "Y";
        expected.http_proxy = "N";
        expected.enable_smart = "0";
        expected.enable_log = "0";
        expected.enable_ip_strategy = "0";
        QVERIFY(dialog->mapping() == expected);
    }

    void digits_only_and_limited_fields() {
        const auto dialog = open(PortMapping{});
        auto* listen = child<QLineEdit>(dialog.get(), "listen_port");
        QTest::keyClicks(listen, "8a0b");
        QCOMPARE(listen->text(), QString("80"));
        QCOMPARE(listen->maxLength(), 19);
        QCOMPARE(child<QLineEdit>(dialog.get(), "name")->maxLength(), 255);
        QCOMPARE(child<QLineEdit>(dialog.get(), "max_sessions")->maxLength(), 9);
    }

    void http_proxy_data() {
        QTest::addColumn<bool>("opened_as_proxy");
        QTest::newRow("checked by the user") << false;
        QTest::newRow("opened on a proxy mapping") << true;
    }
    void http_proxy() {
        QFETCH(bool, opened_as_proxy);
        PortMapping record;
        if (opened_as_proxy) {
            record = named("Proxy");
            record.http_proxy = "Y";
            record.destination_ip = kHttpProxyPlaceholder;
            record.destination_port = "0";
        }
        const auto dialog = open(record, {named("Web")});
        auto* type = child<QComboBox>(dialog.get(), "type");
        auto* proxy = child<QCheckBox>(dialog.get(), "http_proxy");
        if (!opened_as_proxy) {
            type->setCurrentText("UDP");
            proxy->click();
        }
        QVERIFY(proxy->isChecked());
        QCOMPARE(type->currentText(), QString("TCP"));
        QVERIFY(!type->isEnabled());
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_ip")->text(), QString("http proxy"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_port")->text(), QString("0"));
        for (const char* name : {"destination_ip", "destination_port", "destination_port_end",
                                 "destination_single", "destination_range"}) {
            QVERIFY2(!child<QWidget>(dialog.get(), name)->isEnabled(), name);
        }
        child<QLineEdit>(dialog.get(), "name")->setText("Proxy");
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), "8080");
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_port")->text(), QString("0"));
        child<QPushButton>(dialog.get(), "ok")->click();
        QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{});
        const PortMapping stored = dialog->mapping();
        QCOMPARE(stored.http_proxy.str(), std::string("Y"));
        QCOMPARE(stored.type.str(), std::string("TCP"));
        QCOMPARE(stored.destination_ip.view(), kHttpProxyPlaceholder);
        QCOMPARE(stored.destination_port.str(), std::string("0"));
    }

    void http_proxy_unchecked_enables_the_destination_again() {
        const auto dialog = open(PortMapping{});
        auto* proxy = child<QCheckBox>(dialog.get(), "http_proxy");
        proxy->click();
        proxy->click();
        QVERIFY(child<QComboBox>(dialog.get(), "type")->isEnabled());
        QVERIFY(child<QLineEdit>(dialog.get(), "destination_ip")->isEnabled());
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_ip")->text(), QString("http proxy"));
    }

    void smart_route_opening_and_ok() {
        PortMapping record = named("Smart");
        record.enable_smart = "1";
        record.http_proxy = "Y";
        record.smart_ip_range.push_back(
            RouteEntry{FixedText<50>("10.0.0.1"), FixedText<50>("10.0.0.9"),
                       FixedText<255>("127.0.0.3"), FixedText<20>("81")});
        record.smart_round_robin.push_back(
            RoundRobinTarget{FixedText<255>("127.0.0.4"), FixedText<20>("82")});
        const auto dialog = open(record, {record});
        auto* proxy = child<QCheckBox>(dialog.get(), "http_proxy");
        QVERIFY(!proxy->isChecked());
        QVERIFY(!proxy->isEnabled());
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_ip")->text(),
                 QString("enable smart route"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_port")->text(), QString("0"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "destination_port_end")->text(), QString("0"));
        for (const char* name : {"destination_ip", "destination_port", "destination_port_end",
                                 "destination_single", "destination_range"}) {
            QVERIFY2(!child<QWidget>(dialog.get(), name)->isEnabled(), name);
        }
        // Smart route keeps its "0" ports even when the listen port changes.
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), "8100");
        child<QPushButton>(dialog.get(), "ok")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        const PortMapping stored = dialog->mapping();
        QCOMPARE(stored.enable_smart.str(), std::string("1"));
        QCOMPARE(stored.http_proxy.str(), std::string("N"));
        QCOMPARE(stored.destination_ip.view(), kSmartRoutePlaceholder);
        QCOMPARE(stored.destination_port.str(), std::string("0"));
        QCOMPARE(stored.listen_port.str(), std::string("8100"));
        QVERIFY2(stored.smart_ip_range == record.smart_ip_range, "Edit keeps the route list");
        QVERIFY2(stored.smart_round_robin == record.smart_round_robin,
                 "Edit keeps the round-robin list");
    }

    void ssl_button_data() {
        QTest::addColumn<bool>("with_opener");
        QTest::newRow("with an SSL settings opener") << true;
        QTest::newRow("without one") << false;
    }
    void ssl_button() {
        QFETCH(bool, with_opener);
        int opened = 0;
        OpenSsl opener;
        if (with_opener) {
            opener = [&opened](PortMapping& working, QWidget*) {
                ++opened;
                working.ssl_enable = "Y";
                working.ssl_type = "client";
            };
        }
        const auto dialog = open(PortMapping{}, {}, {}, opener);
        auto* ssl = child<QPushButton>(dialog.get(), "ssl");
        auto* type = child<QComboBox>(dialog.get(), "type");
        QCOMPARE(ssl->isEnabled(), with_opener);
        type->setCurrentText("UDP");
        QVERIFY(!ssl->isEnabled());
        type->setCurrentText("TCP");
        QCOMPARE(ssl->isEnabled(), with_opener);
        if (!with_opener) return;

        ssl->click();
        QCOMPARE(opened, 1);
        child<QLineEdit>(dialog.get(), "name")->setText("Tunnel");
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), "8443");
        child<QLineEdit>(dialog.get(), "destination_ip")->setText("127.0.0.1");
        child<QPushButton>(dialog.get(), "ok")->click();
        QCOMPARE(dialog->mapping().ssl_enable.str(), std::string("Y"));
        QCOMPARE(dialog->mapping().ssl_type.str(), std::string("client"));
    }

    // On Edit an OK in the Advanced dialog writes the table's record at once; cancelling the
    // mapping dialog afterwards leaves that write standing.
    void advanced_ok_on_edit_stores_at_once() {
        PortMapping record = named("Web");
        record.max_sessions = "5";
        MappingTable table{record};
        int stores = 0;
        const StoreRecord store = [&](const PortMapping& changed) -> std::optional<std::string> {
            ++stores;
            table[0] = changed;
            return std::nullopt;
        };
        const auto dialog = open(record, table, store);
        child<QLineEdit>(dialog.get(), "max_sessions")->setText("99");

        when_modal<CAdvanced>([](CAdvanced* advanced) {
            when_modal<CAdd_IP_Range>([](CAdd_IP_Range* range) {
                child<QLineEdit>(range, "from")->setText("10.0.0.1");
                child<QLineEdit>(range, "to")->setText("10.0.0.20");
                child<QPushButton>(range, "ok")->click();
            });
            child<QPushButton>(advanced, "allow_add")->click();
            child<QCheckBox>(advanced, "enable_ip_strategy")->click();
            child<QPushButton>(advanced, "ok")->click();
        });
        child<QPushButton>(dialog.get(), "advanced")->click();
        QCOMPARE(stores, 1);
        child<QPushButton>(dialog.get(), "cancel")->click();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));

        QCOMPARE(stores, 1);
        QCOMPARE(table[0].allow_ip.size(), size_t{1});
        QCOMPARE(table[0].allow_ip[0].end.str(), std::string("10.0.0.20"));
        QCOMPARE(table[0].enable_ip_strategy.str(), std::string("1"));
        // The mapping dialog's own fields are not stored when it is cancelled.
        QCOMPARE(table[0].max_sessions.str(), std::string("5"));
    }

    void store_failure_is_shown() {
        const PortMapping record = named("Web");
        const auto dialog =
            open(record, {record}, [](const PortMapping&) { return "the mapping is gone"; });
        when_modal<CAdvanced>(
            [](CAdvanced* advanced) { child<QPushButton>(advanced, "ok")->click(); });
        child<QPushButton>(dialog.get(), "advanced")->click();
        QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{"the mapping is gone"});
    }

    // Ranges added in a cancelled Advanced dialog are still the working lists, which the
    // mapping dialog's OK hands back.
    void add_takes_the_advanced_working_values() {
        const auto dialog = open(PortMapping{});
        when_modal<CAdvanced>([](CAdvanced* advanced) {
            when_modal<CAdd_IP_Range>([](CAdd_IP_Range* range) {
                child<QLineEdit>(range, "from")->setText("192.168.1.5");
                child<QPushButton>(range, "ok")->click();
            });
            child<QPushButton>(advanced, "block_add")->click();
            child<QPushButton>(advanced, "cancel")->click();
        });
        child<QPushButton>(dialog.get(), "advanced")->click();
        child<QLineEdit>(dialog.get(), "name")->setText("new");
        type_into(child<QLineEdit>(dialog.get(), "listen_port"), "8000");
        child<QLineEdit>(dialog.get(), "destination_ip")->setText("127.0.0.1");
        child<QPushButton>(dialog.get(), "ok")->click();
        const PortMapping stored = dialog->mapping();
        QCOMPARE(stored.block_ip.size(), size_t{1});
        QCOMPARE(stored.block_ip[0].start.str(), std::string("192.168.1.5"));
        QCOMPARE(stored.block_ip[0].end.str(), std::string("192.168.1.5"));
    }
};

}  // namespace zk::test

QTEST_MAIN(zk::test::MappingDialogTest)
#include "mapping_dialog_test.moc"
