// The traffic charts painted offscreen, the monitor over a live loopback session, and the
// floating window's Enter/Esc.

#include <sys/socket.h>
#include <unistd.h>
#include <QTableWidget>
#include <QtTest>

#include "app/app_model.h"
#include "core/config_file.h"
#include "engine/traffic.h"
#include "support/fast_timings.h"
#include "support/loopback_server.h"
#include "support/mapping_builder.h"
#include "support/silent_alert.h"
#include "support/temp_dir.h"
#include "ui/desktop_test_support.h"
#include "ui/floating_window.h"
#include "ui/monitor_window.h"
#include "ui/traffic_chart.h"
#include "ui/traffic_sampler.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

QImage paint(TrafficChart& chart) {
    QImage image(chart.size(), QImage::Format_RGB32);
    chart.render(&image);
    return image;
}

TrafficRates total(double bytes) {
    return {.total = bytes, .incoming = 0, .outgoing = 0};
}

bool send_all(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

}  // namespace

class TrafficMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void chart_paints_rows_dots_and_background();
    void monitor_lists_a_live_session();
    void floating_window_closes_for_good_on_escape();
};

void TrafficMonitorTest::chart_paints_rows_dots_and_background() {
    TrafficChart chart(ChartKind::total);
    chart.resize(101, 60);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCOMPARE(chart.history().drawn_count(), 50);
    // Before any sample: the background and the creeping grid's lines, nothing else.
    const QImage empty = paint(chart);
    QSet<QRgb> colours;
    for (int x = 0; x < empty.width(); ++x)
        colours.insert(empty.pixel(x, 35));
    QCOMPARE(colours, (QSet<QRgb>{qRgb(0, 0, 75), qRgb(32, 64, 32)}));

    for (const double bytes : {1024.0, 512.0, 0.0})
        chart.add_sample(total(bytes));
    const QImage image = paint(chart);
    // The largest sample reaches the top; its top pixel is the dot, the rows below their colours.
    QCOMPARE(image.pixelColor(96, 0), QColor(0, 255, 255));
    for (const int y : {10, 30, 59}) {
        const double d = y * (255.0 / 60);
        QCOMPARE(image.pixelColor(97, y),
                 QColor(static_cast<int>(d), static_cast<int>(255 - d), 64));
    }
    // Half the maximum: half the height, the dot on top, background above it.
    QCOMPARE(image.pixelColor(98, 30), QColor(0, 255, 255));
    QVERIFY(colours.contains(image.pixel(99, 29)));
    // The newest second is not drawn yet, and the last column holds no bar.
    QVERIFY(image.pixelColor(100, 45) != QColor(0, 255, 255));
    QVERIFY(colours.contains(image.pixel(95, 45)));
    QCOMPARE(QString::fromStdString(chart.history().label_line1()),
             QString("CUR: 0.0 KB/SEC   CMAX: 1.0 KB/SEC"));
}

void TrafficMonitorTest::monitor_lists_a_live_session() {
    test::TempDir dir;
    const int destination_port = test::free_port();
    const int destination = test::bind_socket(SOCK_STREAM, "127.0.0.1", destination_port);
    QVERIFY(destination >= 0 && ::listen(destination, 4) == 0);
    PortMapping relay =
        test::relay_mapping("TCP", "watched", test::free_port(), "127.0.0.1", destination_port);
    relay.auto_start = "Y";
    save_configuration(dir.file("config.xml"), AppSettings{}, {relay}, {});
    test::FakeSeams fakes;
    test::SilentAlert alert;
    AppModel model(dir.dir(), fakes.sink, alert, test::fast_timings());
    model.start_up();
    QVERIFY(model.wait_for_starts(30s));

    const int client = test::connect_to("127.0.0.1", std::stoi(relay.listen_port.str()));
    QVERIFY(client >= 0);
    QVERIFY(send_all(client, std::string(1536, 'x')));

    TrafficSampler sampler(50ms);
    sampler.start();
    for (int opening = 0; opening < 2; ++opening) {
        CMonitor monitor(model, sampler, 50ms);
        monitor.show();
        QTableWidget* table = monitor.table();
        QCOMPARE(table->columnCount(), 5);
        QCOMPARE(table->horizontalHeaderItem(3)->text(), QString("Incoming(kb)"));
        QCOMPARE(monitor.total_chart()->history().max_value(), 0.0);  // a fresh chart
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 30000);
        QCOMPARE(table->item(0, 0)->text(), QString("watched"));
        QCOMPARE(table->item(0, 1)->text(), QString("127.0.0.1"));
        QCOMPARE(table->item(0, 2)->text().toInt(), test::local_port(client));
        if (opening == 0) {
            QTRY_COMPARE_WITH_TIMEOUT(table->item(0, 4)->text(), QString("1.500000"), 30000);
            QVERIFY(send_all(client, std::string(1024, 'y')));
            QTRY_COMPARE_WITH_TIMEOUT(table->item(0, 4)->text(), QString("2.500000"), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(monitor.total_chart()->history().max_value() > 0, 30000);
        }
        monitor.close();
    }
    ::close(client);
    ::close(destination);
}

void TrafficMonitorTest::floating_window_closes_for_good_on_escape() {
    TrafficSampler sampler(20ms);
    sampler.start();
    CTheTop top(sampler);
    top.show_at_top_right();
    QVERIFY(top.isVisible());
    QCOMPARE(top.x(), top.screen()->availableGeometry().right() + 1 - 200);
    QCOMPARE(top.y(), 10);
    traffic_add_outgoing(4096);
    QTRY_VERIFY(top.chart()->history().max_value() > 0);

    QTest::keyClick(&top, Qt::Key_Escape);
    QVERIFY(!top.isVisible());
    top.show_at_top_right();
    QVERIFY(!top.isVisible());
    // It still takes samples.
    traffic_add_outgoing(8192);
    QTRY_COMPARE(QString::fromStdString(top.chart()->history().label_line2()),
                 QString("MAX: 8.0 K/S"));
}

QTEST_MAIN(TrafficMonitorTest)
#include "traffic_monitor_test.moc"
