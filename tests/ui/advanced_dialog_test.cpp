// The Advanced dialog and "Add IP Range", run modally as the mapping dialog runs them.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "core/validation.h"
#include "support/temp_dir.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/add_ip_range_dialog.h"
#include "ui/advanced_dialog.h"

namespace zk::test {
namespace {

IpRange range_of(const char* start, const char* end) {
    return IpRange{FixedText<50>(start), FixedText<50>(end)};
}

// Adds one range through "Add IP Range" with the list's Add button.
void add_range(CAdvanced* advanced, const char* add_button, const QString& from,
               const QString& to) {
    when_modal<CAdd_IP_Range>([from, to](CAdd_IP_Range* range) {
        child<QLineEdit>(range, "from")->setText(from);
        child<QLineEdit>(range, "to")->setText(to);
        child<QPushButton>(range, "ok")->click();
    });
    child<QPushButton>(advanced, add_button)->click();
}

}  // namespace

class AdvancedDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeSeams> fakes_;

    // Opens the dialog modally, runs `steps` inside it, and returns how it ended. `steps`
    // must close it.
    int run(CAdvanced& advanced, std::function<void(CAdvanced*)> steps) {
        when_modal<CAdvanced>(std::move(steps));
        return advanced.exec();
    }

private slots:
    void init() { fakes_ = std::make_unique<FakeSeams>(); }

    void opening_data() {
        QTest::addColumn<QString>("enable_log");
        QTest::addColumn<bool>("log_on");
        QTest::newRow("log on") << "1" << true;
        QTest::newRow("log off") << "0" << false;
        QTest::newRow("log never set") << "" << false;
    }
    void opening() {
        QFETCH(QString, enable_log);
        QFETCH(bool, log_on);
        PortMapping record;
        record.enable_log = enable_log.toStdString();
        record.log_file = "/var/tmp/web.log";
        record.enable_ip_strategy = "1";
        record.allow_ip = {range_of("10.0.0.1", "10.0.0.20")};
        record.block_ip = {range_of("10.0.0.5", "10.0.0.5"), range_of("10.0.0.7", "10.0.0.8")};
        CAdvanced advanced(record, fakes_->seams);
        const int result = run(advanced, [log_on](CAdvanced* dialog) {
            QCOMPARE(dialog->windowTitle(), QString("Advanced Option"));
            QCOMPARE(child<QCheckBox>(dialog, "enable_log")->isChecked(), log_on);
            auto* path = child<QLineEdit>(dialog, "log_file");
            QCOMPARE(path->text(), QString("/var/tmp/web.log"));
            QCOMPARE(path->isEnabled(), log_on);
            QCOMPARE(child<QPushButton>(dialog, "save")->isEnabled(), log_on);
            QVERIFY(child<QCheckBox>(dialog, "enable_ip_strategy")->isChecked());
            auto* allow = child<QTableWidget>(dialog, "allow_list");
            QCOMPARE(allow->rowCount(), 1);
            QCOMPARE(allow->item(0, 1)->text(), QString("10.0.0.20"));
            QCOMPARE(allow->horizontalHeaderItem(0)->text(), QString("From"));
            QCOMPARE(allow->columnWidth(1), 100);
            QCOMPARE(child<QTableWidget>(dialog, "block_list")->rowCount(), 2);
            child<QPushButton>(dialog, "cancel")->click();
        });
        QCOMPARE(result, int(QDialog::Rejected));
    }

    void log_on_without_path_is_refused() {
        PortMapping record;
        CAdvanced advanced(record, fakes_->seams);
        bool stayed_open = false;
        const int result = run(advanced, [&](CAdvanced* dialog) {
            child<QCheckBox>(dialog, "enable_log")->click();
            QVERIFY(child<QPushButton>(dialog, "save")->isEnabled());
            child<QPushButton>(dialog, "ok")->click();
            stayed_open = dialog->isVisible();
            child<QPushButton>(dialog, "cancel")->click();
        });
        QVERIFY(stayed_open);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(fakes_->sink.messages(),
                 std::vector<std::string>{
                     "you choose enable log file,please save a log file by click save button!"});
        QCOMPARE(fakes_->sink.titles(), std::vector<std::string>{kErrorTitle});
        QVERIFY2(record.enable_log.empty(), "nothing is written to the record");
    }

    void save_data() {
        QTest::addColumn<QString>("file");  // under a fresh temporary directory
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<bool>("created");
        QTest::addColumn<QString>("message_part");  // "": the file's path
        QTest::newRow("new file") << "web.log" << QByteArray() << true << "";
        QTest::newRow("existing file truncated")
            << "old.log" << QByteArray("old lines\n") << true << "";
        QTest::newRow("folder missing") << "missing/web.log" << QByteArray() << false << "";
        // The record holds at most 1023 bytes of path; a longer one would name another file.
        QTest::newRow("path too long for the record")
            << QString("d/").repeated(520) + "web.log" << QByteArray() << false << "too long";
    }
    void save() {
        QFETCH(QString, file);
        QFETCH(QByteArray, existing);
        QFETCH(bool, created);
        TempDir dir;
        const std::string path = dir.file(file.toStdString());
        if (!existing.isEmpty()) write_file(path, existing.toStdString());
        fakes_->files.path = QString::fromStdString(path);

        PortMapping record;
        record.log_file = "/var/tmp/before.log";
        CAdvanced advanced(record, fakes_->seams);
        const int result = run(advanced, [](CAdvanced* dialog) {
            child<QCheckBox>(dialog, "enable_log")->click();
            child<QPushButton>(dialog, "save")->click();
            child<QPushButton>(dialog, "ok")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(fakes_->files.last_filter, QString("Log File (*.log)"));
        QCOMPARE(fakes_->files.last_suffix, QString("log"));
        QCOMPARE(QFile::exists(QString::fromStdString(path)), created);
        QCOMPARE(record.enable_log.str(), std::string("1"));
        if (created) {
            QCOMPARE(read_file(path), std::string());
            QCOMPARE(record.log_file.str(), path);
            QVERIFY(fakes_->sink.messages().empty());
            return;
        }
        QCOMPARE(record.log_file.str(), std::string("/var/tmp/before.log"));
        QCOMPARE(fakes_->sink.messages().size(), size_t{1});
        QFETCH(QString, message_part);
        const std::string part = message_part.isEmpty() ? path : message_part.toStdString();
        QVERIFY2(fakes_->sink.messages()[0].find(part) != std::string::npos,
                 fakes_->sink.messages()[0].c_str());
    }

    void save_cancelled_changes_nothing() {
        PortMapping record;
        record.enable_log = "1";
        record.log_file = "/var/tmp/before.log";
        CAdvanced advanced(record, fakes_->seams);
        run(advanced, [](CAdvanced* dialog) {
            child<QPushButton>(dialog, "save")->click();
            QCOMPARE(child<QLineEdit>(dialog, "log_file")->text(), QString("/var/tmp/before.log"));
            child<QPushButton>(dialog, "cancel")->click();
        });
        QCOMPARE(fakes_->files.calls, 1);
    }

    void ranges_added_and_removed_are_stored_on_ok() {
        PortMapping record;
        CAdvanced advanced(record, fakes_->seams);
        QCOMPARE(run(advanced,
                     [](CAdvanced* dialog) {
                         add_range(dialog, "allow_add", "10.0.0.1", "10.0.0.20");
                         add_range(dialog, "block_add", "10.0.1.1", "10.0.1.2");
                         child<QPushButton>(dialog, "ok")->click();
                     }),
                 int(QDialog::Accepted));
        QVERIFY(record.allow_ip == std::vector<IpRange>{range_of("10.0.0.1", "10.0.0.20")});
        QVERIFY(record.block_ip == std::vector<IpRange>{range_of("10.0.1.1", "10.0.1.2")});
        QCOMPARE(record.enable_log.str(), std::string("0"));

        run(advanced, [](CAdvanced* dialog) {
            auto* allow = child<QTableWidget>(dialog, "allow_list");
            QCOMPARE(allow->rowCount(), 1);
            child<QPushButton>(dialog, "allow_remove")->click();  // nothing selected
            QCOMPARE(allow->rowCount(), 1);
            allow->selectRow(0);
            child<QPushButton>(dialog, "allow_remove")->click();
            QCOMPARE(allow->rowCount(), 0);
            child<QPushButton>(dialog, "ok")->click();
        });
        QVERIFY(record.allow_ip.empty());
        QCOMPARE(record.block_ip.size(), size_t{1});
    }

    // Cancel writes nothing, yet the working lists keep the change until the next opening.
    void cancel_keeps_the_working_lists_until_reopened() {
        PortMapping record;
        record.allow_ip = {range_of("10.0.0.1", "10.0.0.2")};
        CAdvanced advanced(record, fakes_->seams);
        run(advanced, [](CAdvanced* dialog) {
            add_range(dialog, "allow_add", "10.0.0.3", "10.0.0.4");
            child<QPushButton>(dialog, "cancel")->click();
        });
        QCOMPARE(record.allow_ip.size(), size_t{1});
        PortMapping working;
        advanced.store_values(working);
        QCOMPARE(working.allow_ip.size(), size_t{2});

        run(advanced, [](CAdvanced* dialog) {
            QCOMPARE(child<QTableWidget>(dialog, "allow_list")->rowCount(), 1);
            child<QPushButton>(dialog, "cancel")->click();
        });
        advanced.store_values(working);
        QCOMPARE(working.allow_ip.size(), size_t{1});
    }

    void resolve_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("lookups");
        QTest::newRow("empty field") << ""
                                     << "" << 0;
        QTest::newRow("name that resolves") << "example.test"
                                            << "127.0.0.9" << 1;
        QTest::newRow("name that does not") << "nowhere.test"
                                            << "nowhere.test" << 1;
    }
    void resolve() {
        QFETCH(QString, site);
        fakes_->hosts["example.test"] = "127.0.0.9";
        PortMapping record;
        CAdvanced advanced(record, fakes_->seams);
        QString shown;
        run(advanced, [&](CAdvanced* dialog) {
            auto* field = child<QLineEdit>(dialog, "web_site");
            field->setText(site);
            child<QPushButton>(dialog, "resolve")->click();
            shown = field->text();
            child<QPushButton>(dialog, "cancel")->click();
        });
        QTEST(shown, "shown");
        QTEST(fakes_->lookups, "lookups");
        QVERIFY(fakes_->sink.messages().empty());
    }

    void add_ip_range_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");  // typed into "To: " after it took the focus
        QTest::addColumn<QString>("stored_end");
        QTest::addColumn<QString>("message");
        QTest::newRow("To filled when focused, then emptied") << "192.168.1.5"
                                                              << ""
                                                              << "192.168.1.5"
                                                              << "";
        QTest::newRow("To typed over the fill") << "192.168.1.5"
                                                << "192.168.1.9"
                                                << "192.168.1.9"
                                                << "";
        QTest::newRow("empty From") << ""
                                    << "10.0.0.1"
                                    << ""
                                    << "invalid from ip address, please reenter again!";
    }
    void add_ip_range() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        CAdd_IP_Range dialog(fakes_->seams.messages);
        QCOMPARE(dialog.windowTitle(), QString("Add IP Range"));
        auto* from_field = child<QLineEdit>(&dialog, "from");
        auto* to_field = child<QLineEdit>(&dialog, "to");
        QCOMPARE(to_field->maxLength(), 49);
        QString filled;
        when_modal<CAdd_IP_Range>([&](CAdd_IP_Range* shown) {
            to_field->setText("stale");
            QTest::keyClicks(from_field, from);
            to_field->setFocus();
            QTRY_VERIFY(to_field->hasFocus());
            filled = to_field->text();
            to_field->clear();
            QTest::keyClicks(to_field, to);
            child<QPushButton>(shown, "ok")->click();
            if (shown->isVisible()) child<QPushButton>(shown, "cancel")->click();
        });
        const int result = dialog.exec();
        if (!message.isEmpty()) {
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{message.toStdString()});
            QCOMPARE(filled, QString("stale"));  // an empty From fills nothing
            return;
        }
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(filled, from);
        QCOMPARE(QString::fromStdString(dialog.range().start.str()), from);
        QTEST(QString::fromStdString(dialog.range().end.str()), "stored_end");
    }
};

}  // namespace zk::test

QTEST_MAIN(zk::test::AdvancedDialogTest)
#include "advanced_dialog_test.moc"
