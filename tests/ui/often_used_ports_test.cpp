// The "Often Used Ports" window on a catalogue in a fresh program directory: the file made when
// missing, the filter, the search, the add dialog's refusals and appended lines, and a picked
// entry handed on.

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <vector>

#include "support/temp_dir.h"
#include "ui/add_often_port_dialog.h"
#include "ui/desktop_test_support.h"
#include "ui/often_used_ports_window.h"
#include "ui/search_ports_dialog.h"

using namespace zk;

Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

constexpr const char* kFixture =
    "7 Days to Die|26900|26900-26903\n"
    "HTTP|80|\n"
    "HTTPS|443|443\n"
    "SSH|22|\n"
    "steam|27015-27030,27036|27000-27031,27036\n"
    "Steam Remote Play|27036-27037|27031-27036\n";

// A program directory holding `catalogue` (none when null) and the window on it.
struct Catalogue {
    explicit Catalogue(const char* catalogue) {
        if (catalogue) test::write_file(dir.file(kPortsListFile), catalogue);
        window = new COften_used_ports(dir.dir(), fakes.seams,
                                       [this](const PortsEntry& e) { picked.push_back(e); });
        window->show();
    }
    ~Catalogue() { delete window.data(); }

    std::vector<std::string> names() const {
        std::vector<std::string> shown;
        for (int r = 0; r < window->list()->rowCount(); ++r)
            shown.push_back(window->list()->item(r, 0)->text().toStdString());
        return shown;
    }
    QStringList row(int r) const {
        QStringList cells;
        for (int c = 0; c < 3; ++c)
            cells << window->list()->item(r, c)->text();
        return cells;
    }
    // Picks a choice of the filter box as the user does.
    void choose_filter(const QString& choice) {
        auto* box = test::child<QComboBox>(window, "filter");
        const int index = box->findText(choice);
        QVERIFY2(index >= 0, qPrintable(choice));
        box->setCurrentIndex(index);
        emit box->textActivated(choice);
    }
    void click(const char* button) { test::child<QPushButton>(window, button)->click(); }
    std::string file() const { return test::read_file(dir.file(kPortsListFile)); }

    test::TempDir dir;
    test::FakeSeams fakes;
    std::vector<PortsEntry> picked;
    QPointer<COften_used_ports> window;
};

void fill(CAdd_Often_Port* dialog, const QString& name, const QString& tcp, const QString& udp) {
    test::child<QLineEdit>(dialog, "application_name")->setText(name);
    test::child<QLineEdit>(dialog, "tcp_ports")->setText(tcp);
    test::child<QLineEdit>(dialog, "udp_ports")->setText(udp);
}

}  // namespace

class OftenUsedPortsTest : public QObject {
    Q_OBJECT
private slots:
    void missing_file_is_created_empty();
    void filter_lists_names_by_first_character_data();
    void filter_lists_names_by_first_character();
    void search_selects_the_last_match_data();
    void search_selects_the_last_match();
    void search_refuses_an_empty_text();
    void add_writes_a_line_and_shows_it_under_any_filter();
    void add_refuses_data();
    void add_refuses();
    void picking_an_entry_hands_it_on();
};

void OftenUsedPortsTest::missing_file_is_created_empty() {
    Catalogue c(nullptr);
    QVERIFY(std::filesystem::exists(c.dir.file(kPortsListFile)));
    QCOMPARE(c.file(), std::string());
    QCOMPARE(c.window->list()->rowCount(), 0);
    QCOMPARE(c.window->windowTitle(), QString("Often Used Ports"));
    auto* filter = test::child<QComboBox>(c.window, "filter");
    QCOMPARE(filter->count(), 37);
    QCOMPARE(filter->currentText(), QString("ALL"));
    QCOMPARE(filter->itemText(0), QString("0"));
    QCOMPARE(filter->itemText(36), QString("Z"));

    // Closing deletes the window: every menu command makes a new one.
    c.click("cancel");
    QTRY_VERIFY(c.window.isNull());
}

void OftenUsedPortsTest::filter_lists_names_by_first_character_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<std::vector<std::string>>("names");
    QTest::newRow("S lists upper and lower case s")
        << "S" << std::vector<std::string>{"SSH", "steam", "Steam Remote Play"};
    QTest::newRow("a digit") << "7" << std::vector<std::string>{"7 Days to Die"};
    QTest::newRow("no name starts so") << "X" << std::vector<std::string>{};
    QTest::newRow("ALL after a letter")
        << "H,ALL" << std::vector<std::string>{"7 Days to Die", "HTTP",  "HTTPS",
                                               "SSH",           "steam", "Steam Remote Play"};
}

void OftenUsedPortsTest::filter_lists_names_by_first_character() {
    QFETCH(QString, filter);
    QFETCH(std::vector<std::string>, names);
    Catalogue c(kFixture);
    QCOMPARE(c.names().size(), 6u);
    for (const QString& choice : filter.split(','))
        c.choose_filter(choice);
    QCOMPARE(c.names(), names);
}

void OftenUsedPortsTest::search_selects_the_last_match_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("selected");  // -1: none, and the message
    QTest::newRow("last of two") << "http" << 2;
    QTest::newRow("case ignored on both sides") << "STEAM" << 5;
    QTest::newRow("inside the name") << "days" << 0;
    QTest::newRow("no match") << "xyz" << -1;
}

void OftenUsedPortsTest::search_selects_the_last_match() {
    QFETCH(QString, text);
    QFETCH(int, selected);
    Catalogue c(kFixture);
    c.window->list()->selectRow(3);  // a match moves the selection; a miss leaves it
    test::when_modal<CSearch_Ports>([&](CSearch_Ports* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Search Application"));
        test::child<QLineEdit>(dialog, "application_name")->setText(text);
        test::child<QPushButton>(dialog, "ok")->click();
    });
    c.click("search");
    const auto rows = c.window->list()->selectionModel()->selectedRows();
    QCOMPARE(rows.size(), 1);
    if (selected < 0) {
        QCOMPARE(rows.front().row(), 3);
        QCOMPARE(c.fakes.sink.messages(),
                 std::vector<std::string>{text.toStdString() + " not found!"});
        QCOMPARE(c.fakes.sink.titles(), std::vector<std::string>{""});
    } else {
        QCOMPARE(rows.front().row(), selected);
        QCOMPARE(c.window->list()->currentRow(), selected);
        QVERIFY(c.fakes.sink.messages().empty());
    }
}

void OftenUsedPortsTest::search_refuses_an_empty_text() {
    Catalogue c(kFixture);
    bool stayed_open = false;
    test::when_modal<CSearch_Ports>([&](CSearch_Ports* dialog) {
        test::child<QPushButton>(dialog, "ok")->click();
        stayed_open = dialog->isVisible();
        dialog->reject();
    });
    c.click("search");
    QVERIFY(stayed_open);
    QCOMPARE(c.fakes.sink.messages(),
             std::vector<std::string>{"invalid application name, please reenter again!"});
    QCOMPARE(c.fakes.sink.titles(), std::vector<std::string>{"ERROR!"});
}

void OftenUsedPortsTest::add_writes_a_line_and_shows_it_under_any_filter() {
    Catalogue c(kFixture);
    c.choose_filter("S");
    QCOMPARE(c.names().size(), 3u);
    test::when_modal<CAdd_Often_Port>([&](CAdd_Often_Port* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Add Often Used Ports"));
        fill(dialog, "WireGuard", "", "51820");
        test::child<QPushButton>(dialog, "ok")->click();
    });
    c.click("add");
    QCOMPARE(c.file(), std::string(kFixture) + "WireGuard| |51820\n");
    QCOMPARE(c.names().size(), 4u);
    QCOMPARE(c.row(3), (QStringList{"WireGuard", " ", "51820"}));
    QVERIFY(c.fakes.sink.messages().empty());

    // The next pick of the filter reads the file again.
    c.choose_filter("W");
    QCOMPARE(c.names(), std::vector<std::string>{"WireGuard"});
}

void OftenUsedPortsTest::add_refuses_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tcp");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << ""
                                << "80"
                                << "invalid application name, please reenter again!";
    QTest::newRow("bar in the name")
        << "A|B"
        << "80"
        << "an entry may not hold '|' or a line break, please reenter again!";
    QTest::newRow("line too long") << QString(1100, 'n') << "80"
                                   << "the entry is too long, please shorten it!";
}

void OftenUsedPortsTest::add_refuses() {
    QFETCH(QString, name);
    QFETCH(QString, tcp);
    QFETCH(QString, message);
    Catalogue c(kFixture);
    bool stayed_open = false;
    test::when_modal<CAdd_Often_Port>([&](CAdd_Often_Port* dialog) {
        fill(dialog, name, tcp, "");
        test::child<QPushButton>(dialog, "ok")->click();
        stayed_open = dialog->isVisible();
        test::child<QPushButton>(dialog, "cancel")->click();
    });
    c.click("add");
    QVERIFY(stayed_open);
    QCOMPARE(c.fakes.sink.messages(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(c.fakes.sink.titles(), std::vector<std::string>{"ERROR!"});
    QCOMPARE(c.file(), std::string(kFixture));
    QCOMPARE(c.names().size(), 6u);
}

void OftenUsedPortsTest::picking_an_entry_hands_it_on() {
    Catalogue c(kFixture);
    QTableWidget* list = c.window->list();
    const QRect cell = list->visualItemRect(list->item(1, 0));
    // A double click is a press and release, then the second press as a double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_COMPARE(c.picked.size(), 1u);
    QCOMPARE(c.picked.back(), (PortsEntry{"HTTP", "80", ""}));

    list->setCurrentCell(4, 0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_COMPARE(c.picked.size(), 2u);
    QCOMPARE(c.picked.back(), (PortsEntry{"steam", "27015-27030,27036", "27000-27031,27036"}));
    QVERIFY(c.window->isVisible());  // Enter picks; it does not close the window
}

QTEST_MAIN(OftenUsedPortsTest)
#include "often_used_ports_test.moc"
