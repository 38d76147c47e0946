// "SSL Encryption": the role rules, the OK checks, the order of the certificate tool's checks,
// and the tool itself running the real openssl into a temporary program directory.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/program_setup.h"
#include "support/temp_dir.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/certificate_output_window.h"
#include "ui/certificate_runner.h"
#include "ui/root_name_dialog.h"
#include "ui/ssl_dialog.h"

namespace zk::test {
namespace {

constexpr const char* kServerGroup[] = {
    "server_key",         "select_server_key",         "create_server_key",
    "server_request",     "create_server_request",     "select_server_request",
    "server_certificate", "create_server_certificate", "select_server_certificate"};
constexpr const char* kClientGroup[] = {
    "client_key",         "select_client_key",         "create_client_key",
    "client_request",     "create_client_request",     "select_client_request",
    "client_certificate", "create_client_certificate", "select_client_certificate"};

// True when every control of the group has `enabled`; names the first that differs.
bool group_is(const QWidget* dialog, const char* const (&group)[9], bool enabled) {
    for (const char* name : group) {
        if (child<QWidget>(dialog, name)->isEnabled() != enabled) {
            qWarning("%s is %s", name, enabled ? "disabled" : "enabled");
            return false;
        }
    }
    return true;
}

void set_path(QWidget* dialog, const char* field, const QString& path) {
    child<QLineEdit>(dialog, field)->setText(path);
}

}  // namespace

class SslDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeSeams> fakes_;
    std::unique_ptr<QWidget> window_;  // keeps the output windows once their dialog has ended
    CertificateRunner* runner_ = nullptr;

    std::unique_ptr<CAddSSL> open(const PortMapping& record, const std::string& dir = "/tmp/") {
        return std::make_unique<CAddSSL>(record, fakes_->seams, *runner_, dir);
    }

    void wait_until_idle() { QTRY_VERIFY_WITH_TIMEOUT(!runner_->busy(), 60000); }

    static CertificateOutputWindow* last_output(const QWidget* owner) {
        const auto windows = owner->findChildren<CertificateOutputWindow*>();
        return windows.isEmpty() ? nullptr : windows.constLast();
    }

private slots:
    void init() {
        fakes_ = std::make_unique<FakeSeams>();
        window_ = std::make_unique<QWidget>();
        runner_ = new CertificateRunner(window_.get());
    }
    void cleanup() {
        window_.reset();
        fakes_.reset();
    }

    void opening_data() {
        QTest::addColumn<QString>("enable");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("radios_enabled");
        QTest::addColumn<bool>("server_chosen");
        QTest::newRow("new mapping") << ""
                                     << "" << false << false;
        QTest::newRow("client on") << "Y"
                                   << "client" << true << false;
        QTest::newRow("server on") << "Y"
                                   << "server" << true << true;
        QTest::newRow("other type reads as server") << "Y"
                                                    << "relay" << true << true;
        QTest::newRow("server, SSL off") << "N"
                                         << "server" << false << true;
    }
    void opening() {
        QFETCH(QString, enable);
        QFETCH(QString, type);
        QFETCH(bool, radios_enabled);
        QFETCH(bool, server_chosen);
        PortMapping record;
        record.ssl_enable = enable.toStdString();
        record.ssl_type = type.toStdString();
        record.root = "/keys/ca.cer";
        record.client_cer = "/keys/client.cer";
        const auto dialog = open(record);
        QCOMPARE(child<QCheckBox>(dialog.get(), "enable_ssl")->isChecked(), enable == "Y");
        QCOMPARE(child<QRadioButton>(dialog.get(), "server")->isChecked(), server_chosen);
        QCOMPARE(child<QRadioButton>(dialog.get(), "client")->isChecked(), !server_chosen);
        QCOMPARE(child<QRadioButton>(dialog.get(), "client")->isEnabled(), radios_enabled);
        // The chosen role's group is editable even with SSL off.
        QVERIFY(group_is(dialog.get(), kServerGroup, server_chosen));
        QVERIFY(group_is(dialog.get(), kClientGroup, !server_chosen));
        QVERIFY(child<QPushButton>(dialog.get(), "create_root")->isEnabled());
        QCOMPARE(child<QLineEdit>(dialog.get(), "root")->text(), QString("/keys/ca.cer"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "client_certificate")->text(),
                 QString("/keys/client.cer"));
        QVERIFY(child<QLineEdit>(dialog.get(), "root")->isReadOnly());
    }

    void role_rules() {
        const auto dialog = open(PortMapping{});
        auto* enable = child<QCheckBox>(dialog.get(), "enable_ssl");
        enable->click();
        QVERIFY(child<QRadioButton>(dialog.get(), "server")->isEnabled());
        QVERIFY(group_is(dialog.get(), kClientGroup, true));
        QVERIFY(group_is(dialog.get(), kServerGroup, false));
        child<QRadioButton>(dialog.get(), "server")->click();
        QVERIFY(group_is(dialog.get(), kServerGroup, true));
        QVERIFY(group_is(dialog.get(), kClientGroup, false));
        enable->click();
        QVERIFY(!child<QRadioButton>(dialog.get(), "server")->isEnabled());
        QVERIFY(group_is(dialog.get(), kServerGroup, false));
        QVERIFY(group_is(dialog.get(), kClientGroup, false));
    }

    void ok_checks_data() {
        QTest::addColumn<bool>("enable");
        QTest::addColumn<bool>("server");
        QTest::addColumn<QStringList>("paths");  // field=path
        QTest::addColumn<QString>("message");
        QTest::newRow("off, nothing set") << false << false << QStringList{} << "";
        QTest::newRow("server without key")
            << true << true << QStringList{"server_certificate=/s.cer"}
            << "please create or select server private key.";
        QTest::newRow("server without certificate")
            << true << true << QStringList{"server_key=/s.pem"}
            << "please create or select server certificate.";
        QTest::newRow("server complete, client fields ignored")
            << true << true << QStringList{"server_key=/s.pem", "server_certificate=/s.cer"} << "";
        QTest::newRow("client without key")
            << true << false << QStringList{} << "please create or select client private key.";
        QTest::newRow("client without certificate")
            << true << false << QStringList{"client_key=/c.pem"}
            << "please create or select client certificate.";
        QTest::newRow("client complete, request not needed")
            << true << false << QStringList{"client_key=/c.pem", "client_certificate=/c.cer"} << "";
    }
    void ok_checks() {
        QFETCH(bool, enable);
        QFETCH(bool, server);
        QFETCH(QStringList, paths);
        QFETCH(QString, message);
        PortMapping record;
        record.ssl_enable = enable ? "Y" : "N";
        record.ssl_type = server ? "server" : "client";
        const auto dialog = open(record);
        for (const QString& entry : paths) {
            const auto parts = entry.split('=');
            set_path(dialog.get(), parts[0].toUtf8().constData(), parts[1]);
        }
        child<QPushButton>(dialog.get(), "ok")->click();
        if (message.isEmpty()) {
            QVERIFY(fakes_->sink.messages().empty());
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QCOMPARE(dialog->mapping().ssl_enable.str(), std::string(enable ? "Y" : "N"));
            QCOMPARE(dialog->mapping().ssl_type.str(), std::string(server ? "server" : "client"));
            for (const QString& entry : paths) {
                const auto parts = entry.split('=');
                const std::string stored =
                    parts[0] == "server_key"           ? dialog->mapping().private_key.str()
                    : parts[0] == "server_certificate" ? dialog->mapping().server_cer.str()
                    : parts[0] == "client_key"         ? dialog->mapping().private_key_client.str()
                                                       : dialog->mapping().client_cer.str();
                QCOMPARE(QString::fromStdString(stored), parts[1]);
            }
        } else {
            QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{message.toStdString()});
            QVERIFY(dialog->result() != QDialog::Accepted);
            // A refused OK stores nothing.
            QCOMPARE(dialog->mapping().private_key.str(), std::string());
        }
    }

    void cancel_keeps_the_values() {
        PortMapping record;
        record.root = "/keys/old.cer";
        const auto dialog = open(record);
        fakes_->files.path = "/keys/new.cer";
        child<QPushButton>(dialog.get(), "select_root")->click();
        QCOMPARE(child<QLineEdit>(dialog.get(), "root")->text(), QString("/keys/new.cer"));
        QCOMPARE(fakes_->files.last_filter, QString("Cer File (*.cer)"));
        dialog->reject();
        QCOMPARE(dialog->mapping().root.str(), std::string("/keys/old.cer"));
    }

    // Each check stops at its first missing input, before any file dialog opens.
    void tool_checks_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("message");
        QTest::newRow("server request without key")
            << "create_server_request" << QStringList{}
            << "please create or select server private key file firstly.";
        QTest::newRow("sign with nothing: the request comes first")
            << "create_server_certificate" << QStringList{}
            << "please create or select server certificate request file firstly.";
        QTest::newRow("sign without root key")
            << "create_server_certificate" << QStringList{"server_request=/s.csr", "root=/ca.cer"}
            << "please create or select root key file firstly.";
        QTest::newRow("sign without root certificate")
            << "create_server_certificate"
            << QStringList{"server_request=/s.csr", "root_key=/ca.pem"}
            << "please create or select root certificate file firstly.";
    }
    void tool_checks() {
        QFETCH(QString, button);
        QFETCH(QStringList, paths);
        QFETCH(QString, message);
        PortMapping record;
        record.ssl_enable = "Y";
        record.ssl_type = "server";
        const auto dialog = open(record);
        for (const QString& entry : paths) {
            const auto parts = entry.split('=');
            set_path(dialog.get(), parts[0].toUtf8().constData(), parts[1]);
        }
        child<QPushButton>(dialog.get(), button.toUtf8().constData())->click();
        QCOMPARE(fakes_->sink.messages(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(fakes_->files.calls, 0);
        QVERIFY(!runner_->busy());
    }

    void root_name_is_required() {
        const auto dialog = open(PortMapping{});
        when_modal<Root_Name>([this](Root_Name* names) {
            child<QPushButton>(names, "ok")->click();
            QVERIFY(names->isVisible());
            QCOMPARE(fakes_->sink.messages(),
                     std::vector<std::string>{"name of root certificate must be given!"});
            child<QPushButton>(names, "cancel")->click();
        });
        child<QPushButton>(dialog.get(), "create_root")->click();
        QVERIFY(!runner_->busy());
        QVERIFY(child<QLineEdit>(dialog.get(), "root")->text().isEmpty());
    }

    // The whole server side made through the dialog's buttons with the real openssl.
    void makes_a_signed_server_certificate() {
        TempDir home;
        QVERIFY(!prepare_program_directory(home.dir(), ZK_PROGRAM_DIR "/"));
        PortMapping record;
        record.ssl_enable = "Y";
        record.ssl_type = "server";
        const auto dialog = open(record, home.dir());
        const auto home_path = [&](const char* name) {
            return QString::fromStdString(home.dir() + name);
        };

        when_modal<Root_Name>([](Root_Name* names) {
            child<QLineEdit>(names, "name")->setText("ca");
            child<QPushButton>(names, "ok")->click();
        });
        child<QPushButton>(dialog.get(), "create_root")->click();
        // One command at a time: every Create waits while this one runs.
        QVERIFY(!child<QPushButton>(dialog.get(), "create_server_key")->isEnabled());
        wait_until_idle();
        QCOMPARE(child<QLineEdit>(dialog.get(), "root")->text(), home_path("CA/ca.cer"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "root_key")->text(), home_path("CA/ca.pem"));
        QVERIFY(child<QPushButton>(dialog.get(), "create_server_key")->isEnabled());

        const std::pair<const char*, const char*> steps[] = {
            {"create_server_key", "server key.pem"},
            {"create_server_request", "server key.csr"},
            {"create_server_certificate", "server key.cer"}};
        for (const auto& [button, file] : steps) {
            fakes_->files.path = home_path(file);
            child<QPushButton>(dialog.get(), button)->click();
            wait_until_idle();
            const auto* output = last_output(dialog.get());
            QVERIFY2(output && output->verdict().contains("succeeded"),
                     qPrintable(QString(button) + ": " + (output ? output->text() : "no window")));
        }
        QCOMPARE(child<QLineEdit>(dialog.get(), "server_key")->text(), home_path("server key.pem"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "server_request")->text(),
                 home_path("server key.csr"));
        QCOMPARE(child<QLineEdit>(dialog.get(), "server_certificate")->text(),
                 home_path("server key.cer"));
        QVERIFY(std::filesystem::file_size(home.dir() + "server key.cer") > 0);
        // Every command left its window open for the user to read, also after the dialog ends.
        QCOMPARE(dialog->findChildren<CertificateOutputWindow*>().size(), 4);
        dialog->reject();
        const auto kept = window_->findChildren<CertificateOutputWindow*>();
        QCOMPARE(kept.size(), 4);
        QVERIFY(std::all_of(kept.begin(), kept.end(), [](auto* w) { return w->isVisible(); }));
    }

    void a_failed_command_fills_nothing() {
        TempDir home;
        TempDir empty_path;
        QVERIFY(!prepare_program_directory(home.dir(), ZK_PROGRAM_DIR "/"));
        const QByteArray saved_path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(empty_path.dir()));
        const auto dialog = open(PortMapping{}, home.dir());
        fakes_->files.path = QString::fromStdString(home.dir() + "client.pem");
        child<QPushButton>(dialog.get(), "create_client_key")->click();
        wait_until_idle();
        qputenv("PATH", saved_path);
        QVERIFY(child<QLineEdit>(dialog.get(), "client_key")->text().isEmpty());
        const auto* output = last_output(dialog.get());
        QVERIFY(output);
        QVERIFY2(output->text().contains("openssl was not found"), qPrintable(output->text()));
        QVERIFY(output->verdict().contains("failed"));
    }
};

}  // namespace zk::test

QTEST_MAIN(zk::test::SslDialogTest)
#include "ssl_dialog_test.moc"
