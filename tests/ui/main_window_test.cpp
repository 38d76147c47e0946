// The main window over a real model and engine: button rules, the list commands, the
// "Operating..." pause, the options, hiding and exiting.

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>
#include <fstream>

#include "app/app_model.h"
#include "core/config_file.h"
#include "engine/traffic.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "ui/add_port_dialog.h"
#include "ui/desktop_test_support.h"
#include "ui/floating_window.h"
#include "ui/log_follower_window.h"
#include "ui/main_menu.h"
#include "ui/main_window.h"
#include "ui/often_used_ports_window.h"
#include "ui/option_dialog.h"
#include "ui/tray_icon.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

DesktopSetup quick_setup(const std::string& dir) {
    DesktopSetup setup{.executable = dir + "zelkora", .home = dir, .daemon_path = dir + "zelkorad"};
    setup.timings.operating = 50ms;
    setup.timings.log_follow = 20ms;
    return setup;
}

PortMapping mapping(const std::string& name, int port, const char* auto_start = "N") {
    PortMapping m = test::relay_mapping("TCP", name, port, "127.0.0.1", 9);
    m.auto_start = auto_start;
    return m;
}

// Counts the "Operating..." windows shown.
class OperatingCounter : public QObject {
public:
    OperatingCounter() { qApp->installEventFilter(this); }
    ~OperatingCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == "operating") ++shown;
        return false;
    }
};

// A program directory, a model on it and the window, started up.
struct Desktop {
    explicit Desktop(const MappingTable& table) {
        save_configuration(dir.file("config.xml"), AppSettings{}, table, {});
        ::mkdir(dir.file("log").c_str(), 0700);
        model = std::make_unique<AppModel>(dir.dir(), fakes.sink, alert, test::fast_timings());
        window = std::make_unique<MainWindow>(*model, fakes.seams, quick_setup(dir.dir()));
        window->start_up();
        model->wait_for_starts(30s);
        QCoreApplication::processEvents();
    }
    ~Desktop() {
        window.reset();
        model.reset();
    }
    QString cell(int row, ListColumn column) {
        return window->list_model().index(row, static_cast<int>(column)).data().toString();
    }
    void select(int row) {
        window->list_view()->clearSelection();
        if (row >= 0) window->list_view()->selectRow(row);
    }
    bool enabled(const char* button) {
        return test::child<QPushButton>(window.get(), button)->isEnabled();
    }

    test::TempDir dir;
    test::FakeSeams fakes;
    test::SilentAlert alert;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void list_shows_the_columns_and_rows();
    void buttons_follow_the_first_selected_row();
    void add_and_edit_through_the_dialog();
    void delete_of_the_middle_row_keeps_a_later_running_row_tied();
    void start_and_stop_of_a_range_show_operating_once_per_row();
    void option_writes_and_removes_the_autostart_entry();
    void help_and_logs_open_with_their_viewers();
    void catalogue_entry_opens_a_new_mapping();
    void close_box_hides_and_esc_exits();
    void tray_animates_only_while_traffic_flows();
};

void MainWindowTest::list_shows_the_columns_and_rows() {
    PortMapping range = mapping("range", test::free_port_run(4));
    range.listen_port_type = "1";
    range.listen_port_end = std::to_string(std::stoi(range.listen_port.str()) + 3);
    range.max_sessions = "";
    Desktop d({range});
    QAbstractItemModelTester tester(&d.window->list_model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(d.window->list_model().columnCount(), 9);
    QCOMPARE(d.window->list_model().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Destination IP"));
    // The design widths, widened where this font would cut a title.
    QCOMPARE(d.window->list_view()->columnWidth(0), 130);
    for (int c = 0; c < 9; ++c) {
        const QString title =
            d.window->list_model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QVERIFY2(d.window->list_view()->columnWidth(c) >= kListColumnWidths[c], qPrintable(title));
        QVERIFY2(
            d.window->list_view()->columnWidth(c) >
                d.window->list_view()->horizontalHeader()->fontMetrics().horizontalAdvance(title),
            qPrintable(title));
    }
    QCOMPARE(d.cell(0, ListColumn::max_sessions), QString("unlimited"));
    QCOMPARE(d.cell(0, ListColumn::listen_port),
             QString("%1-%2").arg(range.listen_port.c_str(), range.listen_port_end.c_str()));
    QCOMPARE(d.cell(0, ListColumn::status), QString("stop"));
    QCOMPARE(d.cell(0, ListColumn::sessions), QString("0"));
}

void MainWindowTest::buttons_follow_the_first_selected_row() {
    PortMapping logged = mapping("logged", test::free_port());
    logged.enable_log = "1";
    logged.log_file = "/tmp/zk-never-written.log";
    Desktop d({mapping("running", test::free_port(), "Y"), logged});
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(0, ListColumn::status), QString("running"), 30000);

    struct Case {
        int row;
        bool start, stop, edit, remove, tail;
    };
    for (const Case c :
         {Case{-1, false, false, false, false, false}, Case{0, false, true, false, false, false},
          Case{1, true, false, true, true, true}}) {
        d.select(c.row);
        const QByteArray row = QByteArray::number(c.row);
        QVERIFY2(d.enabled("start") == c.start, row);
        QVERIFY2(d.enabled("stop") == c.stop, row);
        QVERIFY2(d.enabled("edit") == c.edit, row);
        QVERIFY2(d.enabled("delete") == c.remove, row);
        QVERIFY2(d.enabled("tail_log") == c.tail, row);
        QVERIFY2(d.enabled("add") && d.enabled("help") && d.enabled("about") && d.enabled("hide") &&
                     d.enabled("exit"),
                 row);
    }
    // The engine's report arrives on another thread and still updates the buttons.
    d.select(0);
    QVERIFY(d.enabled("stop"));
    d.model->stop_mapping(0);
    QTRY_VERIFY(d.enabled("start") && !d.enabled("stop"));
}

void MainWindowTest::add_and_edit_through_the_dialog() {
    PortMapping smart = mapping("smart", test::free_port());
    smart.enable_smart = "1";
    smart.destination_ip = kSmartRoutePlaceholder;
    RouteEntry route;
    route.start = "10.0.0.1";
    route.end = "10.0.0.9";
    route.d_ip = "127.0.0.1";
    route.d_port = "80";
    smart.smart_ip_range.push_back(route);
    RoundRobinTarget target;
    target.d_ip = "127.0.0.2";
    target.d_port = "81";
    smart.smart_round_robin.push_back(target);
    Desktop d({smart});
    const int port = test::free_port();

    test::when_modal<CAddPort>([port](CAddPort* dialog) {
        test::child<QLineEdit>(dialog, "name")->setText("web");
        test::child<QLineEdit>(dialog, "listen_port")->setText(QString::number(port));
        test::child<QLineEdit>(dialog, "destination_ip")->setText("127.0.0.1");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    d.window->add_mapping();
    QCOMPARE(d.window->list_model().rowCount(), 2);
    QCOMPARE(d.cell(1, ListColumn::name), QString("web"));
    QCOMPARE(d.cell(1, ListColumn::destination_port), QString::number(port));
    QVERIFY(test::read_file(d.dir.file("config.xml")).find("\"web\"") != std::string::npos);

    d.select(0);
    test::when_modal<CAddPort>([](CAddPort* dialog) {
        test::child<QLineEdit>(dialog, "max_sessions")->setText("7");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    d.window->edit_mapping();
    QCOMPARE(d.cell(0, ListColumn::max_sessions), QString("7"));
    QCOMPARE(d.cell(0, ListColumn::status), QString("stop"));
    const PortMapping edited = d.model->snapshot().mappings[0];
    QCOMPARE(edited.smart_ip_range, smart.smart_ip_range);
    QCOMPARE(edited.smart_round_robin, smart.smart_round_robin);
    QVERIFY(d.fakes.sink.messages().empty());
}

void MainWindowTest::delete_of_the_middle_row_keeps_a_later_running_row_tied() {
    const int destination_port = test::free_port();
    const int destination = test::bind_socket(SOCK_STREAM, "127.0.0.1", destination_port);
    QVERIFY(destination >= 0 && ::listen(destination, 16) == 0);
    PortMapping last = mapping("last", test::free_port(), "Y");
    last.destination_port = std::to_string(destination_port);
    Desktop d({mapping("first", test::free_port()), mapping("middle", test::free_port()), last});
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(2, ListColumn::status), QString("running"), 30000);

    d.select(1);
    QVERIFY(d.enabled("delete"));
    d.window->delete_mapping();
    QCOMPARE(d.window->list_model().rowCount(), 2);
    QCOMPARE(d.cell(0, ListColumn::name), QString("first"));
    QCOMPARE(d.cell(1, ListColumn::name), QString("last"));
    QCOMPARE(d.cell(1, ListColumn::status), QString("running"));
    QCOMPARE(d.model->snapshot().mappings[1].name.str(), std::string("last"));

    // A session of the running mapping is counted on its new row.
    const int client = test::connect_to("127.0.0.1", std::stoi(last.listen_port.str()));
    QVERIFY(client >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(1, ListColumn::sessions), QString("1"), 30000);
    QCOMPARE(d.cell(0, ListColumn::sessions), QString("0"));
    ::close(client);
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(1, ListColumn::sessions), QString("0"), 30000);
    ::close(destination);
}

void MainWindowTest::start_and_stop_of_a_range_show_operating_once_per_row() {
    const int first = test::free_port_run(3);
    PortMapping range = mapping("range", first);
    range.listen_port_type = "1";
    range.listen_port_end = std::to_string(first + 2);
    Desktop d({range});
    OperatingCounter counter;
    d.select(0);
    d.window->start_mappings();
    QCOMPARE(counter.shown, 1);
    QVERIFY(d.fakes.sink.messages().empty());
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(0, ListColumn::status), QString("running"), 30000);
    QVERIFY(test::local_port_listening(first + 2));
    QVERIFY(d.enabled("stop") && !d.enabled("start"));

    d.window->stop_mappings();
    QCOMPARE(counter.shown, 2);
    QCOMPARE(d.cell(0, ListColumn::status), QString("stop"));
    QVERIFY(d.enabled("start") && !d.enabled("stop"));
}

void MainWindowTest::option_writes_and_removes_the_autostart_entry() {
    Desktop d({});
    const std::string config_home = d.dir.file("xdg");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_home));
    const std::string entry = config_home + "/autostart/zelkora.desktop";

    for (const bool on : {true, false}) {
        test::when_modal<COption>([on](COption* dialog) {
            test::child<QCheckBox>(dialog, "auto_startup")->setChecked(on);
            test::child<QCheckBox>(dialog, "top_window")->setChecked(on);
            test::child<QPushButton>(dialog, "ok")->click();
        });
        d.window->main_menu()->open_options();
        QCOMPARE(::access(entry.c_str(), F_OK) == 0, on);
        if (on) {
            const std::string text = test::read_file(entry);
            QVERIFY2(text.find("Exec=\"" + d.dir.dir() + "zelkora\" --home") != std::string::npos,
                     text.c_str());
        }
        QCOMPARE(d.model->settings().auto_startup.str(), std::string(on ? "1" : "0"));
        QCOMPARE(d.model->settings().top_window.str(), std::string(on ? "1" : "0"));
        QCOMPARE(d.window->floating_window()->isVisible(), on);
    }
    qunsetenv("XDG_CONFIG_HOME");
}

// Picking an entry of the often used ports opens Add filled with it; the name is checked as a
// new one, so a taken name is refused instead of being added twice.
void MainWindowTest::catalogue_entry_opens_a_new_mapping() {
    Desktop d({mapping("taken", test::free_port())});
    test::write_file(d.dir.file("ports_list.txt"), "taken|8080|\nWeb server|8081-8083|\n");
    d.window->main_menu()->open_often_used_ports();
    auto* catalogue = d.window->findChild<COften_used_ports*>();
    QVERIFY(catalogue);
    auto* list = test::child<QTableWidget>(catalogue, "ports_list");
    QCOMPARE(list->rowCount(), 2);

    test::when_modal<CAddPort>([&](CAddPort* dialog) {
        QCOMPARE(test::child<QLineEdit>(dialog, "name")->text(), QString("taken"));
        test::child<QPushButton>(dialog, "ok")->click();
        QCOMPARE(d.fakes.sink.messages().size(), std::size_t{1});
        dialog->reject();
    });
    emit list->activated(list->model()->index(0, 0));
    QCOMPARE(d.model->snapshot().mappings.size(), std::size_t{1});

    test::when_modal<CAddPort>([](CAddPort* dialog) {
        QCOMPARE(test::child<QLineEdit>(dialog, "name")->text(), QString("Web server"));
        QCOMPARE(test::child<QLineEdit>(dialog, "listen_port")->text(), QString("8081"));
        QCOMPARE(test::child<QLineEdit>(dialog, "listen_port_end")->text(), QString("8083"));
        // Where the ports lead is the user's to say.
        test::child<QLineEdit>(dialog, "destination_ip")->setText("127.0.0.1");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    emit list->activated(list->model()->index(1, 0));
    QCOMPARE(d.model->snapshot().mappings.size(), std::size_t{2});
    QCOMPARE(d.model->snapshot().mappings[1].name.str(), std::string("Web server"));
    QCOMPARE(d.fakes.sink.messages().size(), std::size_t{1});
    catalogue->close();
}

void MainWindowTest::help_and_logs_open_with_their_viewers() {
    PortMapping logged = mapping("logged", test::free_port());
    logged.enable_log = "1";
    Desktop d({logged});
    logged.log_file = d.dir.file("relay.log");
    QVERIFY(!d.model->edit_mapping(0, logged));
    std::string lines;
    for (int i = 1; i <= 150; ++i)
        lines += "line " + std::to_string(i) + "\n";
    test::write_file(logged.log_file.str(), lines);

    d.window->open_help();
    d.window->main_menu()->view_system_log();
    using Argv = std::vector<std::string>;
    QCOMPARE(d.fakes.processes.launches,
             (std::vector<Argv>{Argv{"xdg-open", d.dir.dir() + "help/index.html"},
                                Argv{"xdg-open", d.dir.dir() + "log/zk-gate.log"}}));

    // Tail Log: the last 100 lines, then what is appended.
    d.select(0);
    d.window->tail_log();
    auto* follower = d.window->findChild<LogFollowerWindow*>("log_follower");
    QVERIFY(follower);
    QVERIFY(follower->text().startsWith("line 51\n"));
    QVERIFY(follower->text().endsWith("line 150\n"));
    std::ofstream(logged.log_file.str(), std::ios::app) << "line 151\n";
    QTRY_VERIFY(follower->text().endsWith("line 151\n"));
    follower->close();
}

void MainWindowTest::close_box_hides_and_esc_exits() {
    Desktop d({mapping("runs", test::free_port(), "Y")});
    QTRY_COMPARE_WITH_TIMEOUT(d.cell(0, ListColumn::status), QString("running"), 30000);
    QSignalSpy exited(d.window.get(), &MainWindow::exited);
    d.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.window.get()));

    d.window->close();
    QVERIFY(!d.window->isVisible());
    QCOMPARE(exited.count(), 0);
    QCOMPARE(d.cell(0, ListColumn::status), QString("running"));

    d.window->show_window();
    QVERIFY(d.window->isVisible());
    ::unlink(d.dir.file("config.xml").c_str());
    QTest::keyClick(d.window.get(), Qt::Key_Escape);
    QCOMPARE(exited.count(), 1);
    QCOMPARE(exited.first().first().toBool(), true);
    QVERIFY(test::read_file(d.dir.file("config.xml")).find("\"runs\"") != std::string::npos);
}

void MainWindowTest::tray_animates_only_while_traffic_flows() {
    DesktopTimings timings;
    timings.tray_check = 300ms;
    timings.tray_frame = 5ms;
    TrayIcon tray(timings);
    tray.create();
    QTest::qWait(700);
    QVERIFY(!tray.animating());
    traffic_add_incoming(1500);
    QTRY_VERIFY(tray.animating());
    // Two looks without a new byte and it stands still again.
    QTRY_VERIFY(!tray.animating());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
