// The "Port Triggers" window and its trigger dialog over a real model: the dialog's refusals,
// a UDP trigger started and stopped from the window against a loopback receiver, and the
// window following changes made elsewhere.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "app/app_model.h"
#include "core/config_file.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "support/trigger_fixture.h"
#include "ui/desktop_test_support.h"
#include "ui/model_relay.h"
#include "ui/port_triggers_window.h"
#include "ui/trigger_dialog.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

enum Column { kName, kStatus, kProtocol, kAddress, kPorts, kPeriod };

// A program directory with `triggers` in config.xml, a started model and the window on it.
struct Triggers {
    explicit Triggers(const TriggerTable& triggers) {
        save_configuration(dir.file("config.xml"), AppSettings{}, {}, triggers);
        ::mkdir(dir.file("log").c_str(), 0700);
        model = std::make_unique<AppModel>(dir.dir(), fakes.sink, alert, test::fast_timings());
        model->set_observer(&relay);
        model->start_up();
        window = std::make_unique<PortTriggersWindow>(*model, relay, fakes.seams);
        window->show();
    }
    ~Triggers() {
        window.reset();
        model.reset();
    }
    QString cell(int row, Column column) const {
        const QTableWidgetItem* item = window->list()->item(row, column);
        return item ? item->text() : QString("(no cell)");
    }
    bool enabled(const char* button) const {
        return test::child<QPushButton>(window.get(), button)->isEnabled();
    }
    void click(const char* button) { test::child<QPushButton>(window.get(), button)->click(); }
    std::string config() const { return test::read_file(dir.file("config.xml")); }

    test::TempDir dir;
    test::FakeSeams fakes;
    test::SilentAlert alert;
    ModelRelay relay;  // outlives the model, which reports into it
    std::unique_ptr<AppModel> model;
    std::unique_ptr<PortTriggersWindow> window;
};

// Fills the dialog's fields; an empty end leaves the field as it is.
void fill(CAddTrigger* dialog, const QString& name, int protocol, const QString& address,
          const QString& port, const QString& port_end, const QString& period) {
    test::child<QLineEdit>(dialog, "name")->setText(name);
    test::child<QComboBox>(dialog, "protocol")->setCurrentIndex(protocol);
    test::child<QLineEdit>(dialog, "trigger_address")->setText(address);
    test::child<QLineEdit>(dialog, "trigger_port")->setText(port);
    test::child<QLineEdit>(dialog, "trigger_port_end")->setText(port_end);
    test::child<QLineEdit>(dialog, "frequence")->setText(period);
}

}  // namespace

class PortTriggersWindowTest : public QObject {
    Q_OBJECT
private slots:
    void dialog_refuses_data();
    void dialog_refuses();
    void dialog_accepts_a_host_that_resolves();
    void udp_trigger_runs_from_the_window();
    void window_follows_changes_made_elsewhere();
    void one_window_at_a_time();
};

void PortTriggersWindowTest::dialog_refuses_data() {
    QTest::addColumn<bool>("edit");  // edit the entry "mine" instead of adding
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("port_end");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("message");
    const QString good_port = "6000";
    QTest::newRow("empty name") << false << ""
                                << "127.0.0.1" << good_port << ""
                                << "1000"
                                << "invalid trigger name, please reenter again!";
    QTest::newRow("name taken on add") << false << "taken"
                                       << "127.0.0.1" << good_port << ""
                                       << "1000"
                                       << "port trigger name already exists, please reenter again!";
    QTest::newRow("renamed onto another entry")
        << true << "taken"
        << "127.0.0.1" << good_port << ""
        << "1000"
        << "port trigger name already exists, please reenter again!";
    QTest::newRow("empty address") << false << "new"
                                   << "" << good_port << ""
                                   << "1000"
                                   << "invalid trigger address, please reenter again!";
    QTest::newRow("malformed dotted address") << false << "new"
                                              << "127.0.0" << good_port << ""
                                              << "1000"
                                              << "invalid trigger address, please reenter again!";
    QTest::newRow("host that does not resolve")
        << false << "new"
        << "nowhere.test" << good_port << ""
        << "1000"
        << "cannot resolve trigger address nowhere.test, please reenter again!";
    QTest::newRow("port 0") << false << "new"
                            << "127.0.0.1"
                            << "0"
                            << ""
                            << "1000"
                            << "invalid trigger port, please reenter again!";
    QTest::newRow("end past the last port")
        << false << "new"
        << "127.0.0.1" << good_port << "65536"
        << "1000"
        << "invalid end range of trigger port, please reenter again!";
    QTest::newRow("end before start")
        << false << "new"
        << "127.0.0.1" << good_port << "5999"
        << "1000"
        << "the end range of trigger port must not be smaller than the start range of trigger "
           "port, please reenter again!";
    QTest::newRow("more than 1024 ports")
        << false << "new"
        << "127.0.0.1"
        << "1"
        << "1025"
        << "1000"
        << "a port trigger spans at most 1024 ports, please reenter again!";
    QTest::newRow("period 0") << false << "new"
                              << "127.0.0.1" << good_port << ""
                              << "0"
                              << "the trigger period must be at least 1000 ms, please reenter "
                                 "again!";
    QTest::newRow("period under a second")
        << false << "new"
        << "127.0.0.1" << good_port << ""
        << "999"
        << "the trigger period must be at least 1000 ms, please reenter again!";
    QTest::newRow("empty period") << false << "new"
                                  << "127.0.0.1" << good_port << ""
                                  << ""
                                  << "the trigger period must be at least 1000 ms, please "
                                     "reenter again!";
}

// Each refusal shows its message once in an "ERROR!" box, the dialog stays open, and nothing
// reaches the model or config.xml.
void PortTriggersWindowTest::dialog_refuses() {
    QFETCH(bool, edit);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, port_end);
    QFETCH(QString, period);
    QFETCH(QString, message);
    Triggers t({test::loopback_trigger("taken", 5000), test::loopback_trigger("mine", 5001)});
    const std::string file = t.config();
    const TriggerTable before = t.model->triggers();

    bool stayed_open = false;
    test::when_modal<CAddTrigger>([&](CAddTrigger* dialog) {
        fill(dialog, name, 0, address, port, port_end, period);
        test::child<QPushButton>(dialog, "ok")->click();
        stayed_open = dialog->isVisible();
        dialog->reject();
    });
    if (edit) {
        t.window->list()->selectRow(1);
        QVERIFY(t.enabled("edit"));
        t.window->edit_trigger();
    } else {
        t.window->add_trigger();
    }
    QVERIFY(stayed_open);
    QCOMPARE(t.fakes.sink.messages(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(t.fakes.sink.titles(), std::vector<std::string>{"ERROR!"});
    QCOMPARE(t.model->triggers(), before);
    QCOMPARE(t.config(), file);
}

void PortTriggersWindowTest::dialog_accepts_a_host_that_resolves() {
    Triggers t({});
    t.fakes.hosts["receiver.test"] = "127.0.0.1";
    test::when_modal<CAddTrigger>([](CAddTrigger* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Add Port Trigger"));
        fill(dialog, "named", 2, "receiver.test", "6000", "6002", "1500");
        test::child<QCheckBox>(dialog, "auto_start")->setChecked(true);
        test::child<QPushButton>(dialog, "ok")->click();
    });
    t.window->add_trigger();
    QVERIFY(t.fakes.sink.messages().empty());
    QCOMPARE(t.fakes.lookups, 1);
    const TriggerTable stored = t.model->triggers();
    QCOMPARE(stored.size(), std::size_t{1});
    // The name is kept: the engine looks it up again at every start.
    QCOMPARE(stored[0].trigger_address.str(), std::string("receiver.test"));
    QCOMPARE(stored[0].protocol.str(), std::string("TCP,UDP"));
    QCOMPARE(stored[0].auto_start.str(), std::string("Y"));
    QCOMPARE(t.cell(0, kPorts), QString("6000-6002"));
    QCOMPARE(t.cell(0, kPeriod), QString("1500"));
}

// Added, started, stopped, edited and deleted from the window, against a loopback receiver.
void PortTriggersWindowTest::udp_trigger_runs_from_the_window() {
    test::UdpReceiver receiver;
    QVERIFY(receiver.fd >= 0);
    Triggers t({});
    const QString port = QString::number(receiver.port());
    test::when_modal<CAddTrigger>([&](CAddTrigger* dialog) {
        fill(dialog, "udp", 1, "127.0.0.1", port, "", "1000");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    t.window->add_trigger();
    QVERIFY(t.fakes.sink.messages().empty());
    QCOMPARE(t.window->list()->rowCount(), 1);
    QCOMPARE(t.cell(0, kName), QString("udp"));
    QCOMPARE(t.cell(0, kStatus), QString("stop"));
    QCOMPARE(t.cell(0, kProtocol), QString("UDP"));
    QCOMPARE(t.cell(0, kAddress), QString("127.0.0.1"));
    QCOMPARE(t.cell(0, kPorts), port);
    QCOMPARE(t.cell(0, kPeriod), QString("1000"));
    TriggerTable saved;
    QVERIFY(load_triggers(t.dir.file("config.xml"), saved, t.fakes.sink));
    QCOMPARE(saved, t.model->triggers());

    QVERIFY(!t.enabled("start") && !t.enabled("stop") && !t.enabled("edit"));
    t.window->list()->selectRow(0);
    QVERIFY(t.enabled("start") && t.enabled("edit") && t.enabled("delete") && !t.enabled("stop"));
    t.click("start");
    QCOMPARE(t.cell(0, kStatus), QString("running"));
    QVERIFY(!t.enabled("start") && !t.enabled("edit") && !t.enabled("delete") && t.enabled("stop"));
    QCOMPARE(receiver.empty_datagrams(2, 30s), 2);

    t.click("stop");
    // The threads pause 3 s before they end; the row follows without a click.
    QTRY_COMPARE_WITH_TIMEOUT(t.cell(0, kStatus), QString("stop"), 30000);
    QVERIFY(t.enabled("start") && !t.enabled("stop"));
    receiver.drain();
    QCOMPARE(receiver.empty_datagrams(1, 2500ms), 0);

    test::when_modal<CAddTrigger>([](CAddTrigger* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Edit Port Trigger"));
        QCOMPARE(test::child<QComboBox>(dialog, "protocol")->currentIndex(), 1);
        test::child<QLineEdit>(dialog, "frequence")->setText("2000");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    t.window->edit_trigger();
    QCOMPARE(t.cell(0, kPeriod), QString("2000"));
    QVERIFY(t.config().find("frequence=\"2000\"") != std::string::npos);

    t.click("delete");
    QCOMPARE(t.window->list()->rowCount(), 0);
    QVERIFY(t.config().find("\"udp\"") == std::string::npos);
    QVERIFY(t.fakes.sink.messages().empty());
}

// Another front end (the web interface) changes the table: the window shows it without a click,
// and its selection stays on its entry.
void PortTriggersWindowTest::window_follows_changes_made_elsewhere() {
    test::UdpReceiver receiver;
    Triggers t({test::loopback_trigger("first", 5000)});
    t.window->list()->selectRow(0);
    PortTrigger udp = test::loopback_trigger("second", receiver.port());
    QVERIFY(!t.model->add_trigger(udp).has_value());
    QTRY_COMPARE(t.window->list()->rowCount(), 2);
    QVERIFY(!t.model->start_trigger("second").has_value());
    QTRY_COMPARE(t.cell(1, kStatus), QString("running"));
    QVERIFY(!t.model->delete_trigger("first").has_value());
    QTRY_COMPARE(t.window->list()->rowCount(), 1);
    QCOMPARE(t.cell(0, kName), QString("second"));
    QVERIFY(t.window->list()->selectionModel()->selectedRows().isEmpty());
    t.window->list()->selectRow(0);
    QVERIFY(t.enabled("stop"));
    QVERIFY(!t.model->stop_trigger("second").has_value());
    QTRY_COMPARE_WITH_TIMEOUT(t.cell(0, kStatus), QString("stop"), 30000);
    QVERIFY(t.enabled("start"));
}

void PortTriggersWindowTest::one_window_at_a_time() {
    Triggers t({test::loopback_trigger("only", 5000)});
    QWidget parent;
    auto* first = open_port_triggers(*t.model, t.relay, t.fakes.seams, &parent);
    QCOMPARE(first->windowTitle(), QString("Port Triggers"));
    QVERIFY(!first->isModal());
    QCOMPARE(first->list()->rowCount(), 1);
    QCOMPARE(open_port_triggers(*t.model, t.relay, t.fakes.seams, &parent), first);
    QPointer<PortTriggersWindow> closed(first);
    test::child<QPushButton>(first, "close")->click();
    QTRY_VERIFY(closed.isNull());
    QVERIFY(open_port_triggers(*t.model, t.relay, t.fakes.seams, &parent) != nullptr);
}

QTEST_MAIN(PortTriggersWindowTest)
#include "port_triggers_window_test.moc"
